#include "setup/CustomLine.h"

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

}  // namespace zeph
