#include "setup/BlockLines.h"

#include "activation/ProfileFormat.h"
#include "system/WinPath.h"

namespace zeph {

CustomLineError SplitCustomLine(const std::string& line, std::vector<std::string>* fields) {
  fields->clear();
  size_t from = 0;
  for (;;) {
    const size_t at = line.find("\\,", from);
    const std::string field =
        Trim(line.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (field.size() < 2) {
      fields->clear();
      return CustomLineError::ShortField;
    }
    fields->push_back(field.substr(1, field.size() - 2));
    if (at == std::string::npos) break;
    from = at + 2;
  }
  if (fields->size() < 2) {
    fields->clear();
    return CustomLineError::NoCommandWord;
  }
  return CustomLineError::None;
}

bool SplitCopyEntry(const std::string& line, std::string* source, std::string* destination) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty()) return false;
  std::string unused;
  return ParseItemList(2, trimmed.substr(1), source, destination, &unused);
}

}  // namespace zeph
