// JSON for scripts: one writer every command's --json goes through (objects
// and arrays written as "{"key": value, ...}" on one line), and a quoted,
// escaped string.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarncap {

// text is UTF-8 (a file name, a message); quotes, backslashes and control
// characters are escaped, everything else passes as it is.
std::string JsonString(const std::string& text);
// The dialogs' code page 1252 text as UTF-8 (its letters from 0xA0 up are
// Latin-1's; the few signs from 0x80 to 0x9F become '?').
std::string Cp1252ToUtf8(const std::string& text);

// Writes one JSON value; the commas between members and elements come by
// themselves. Key() goes before each member's value.
class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(const std::string& text);
  JsonWriter& Number(long long value);
  // With a fixed number of decimals, as printf's %.Nf writes it.
  JsonWriter& Number(double value, int decimals);
  JsonWriter& Bool(bool value) { return Raw(value ? "true" : "false"); }
  JsonWriter& Null() { return Raw("null"); }
  // A value already in JSON.
  JsonWriter& Raw(std::string_view json);
  // Blank text that JSON ignores (a line break for people), written before
  // the next value or closing bracket, after its comma.
  JsonWriter& Space(std::string_view blank);
  const std::string& Text() const { return text_; }

 private:
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);
  void BeforeValue();

  std::string text_;
  std::vector<bool> firstInLevel_;  // per open object or array: nothing written in it yet
  bool afterKey_ = false;
  std::string blank_;
};

}  // namespace zarncap
