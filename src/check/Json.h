// A small JSON writer for the check tool's report: objects and arrays
// written in order, strings from the program's 8-bit text (Windows-1252)
// turned into UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace zeph {

class JsonWriter {
 public:
  // Containers; a key goes before each member of an object.
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(const std::string& key);
  JsonWriter& String(const std::string& text);
  JsonWriter& Number(int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // The document so far, with a final line end.
  std::string Text() const { return out_ + "\n"; }

 private:
  void BeforeValue();
  std::string out_;
  bool needComma_ = false;
};

// text (Windows-1252) as a quoted JSON string in UTF-8.
std::string JsonQuoted(const std::string& text);

}  // namespace zeph
