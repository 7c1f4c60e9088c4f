#include "tools/zarncap/common/json_text.h"

#include <cstdio>

namespace zarncap {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Cp1252ToUtf8(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0xA0) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += c >= 0x80 ? '?' : static_cast<char>(c);
    }
  }
  return out;
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!firstInLevel_.empty()) {
    if (!firstInLevel_.back()) text_ += blank_.empty() ? ", " : ",";
    firstInLevel_.back() = false;
  }
  text_ += blank_;
  blank_.clear();
}

JsonWriter& JsonWriter::Open(char bracket) {
  BeforeValue();
  text_ += bracket;
  firstInLevel_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
  text_ += blank_;
  blank_.clear();
  text_ += bracket;
  if (!firstInLevel_.empty()) firstInLevel_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  BeforeValue();
  text_ += JsonString(std::string(key));
  text_ += ": ";
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(const std::string& text) { return Raw(JsonString(text)); }

JsonWriter& JsonWriter::Number(long long value) { return Raw(std::to_string(value)); }

JsonWriter& JsonWriter::Number(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return Raw(text);
}

JsonWriter& JsonWriter::Raw(std::string_view json) {
  BeforeValue();
  text_ += json;
  return *this;
}

JsonWriter& JsonWriter::Space(std::string_view blank) {
  blank_ = blank;
  return *this;
}

}  // namespace zarncap
