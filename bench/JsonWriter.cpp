#include "bench/JsonWriter.h"

#include <cstdio>

namespace orvane::bench {

namespace {

std::string Quoted(const std::string &text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

} // namespace

void JsonWriter::Key(const std::string &key) {
  if (!hasMember_.empty()) {
    if (hasMember_.back())
      text_ += ',';
    hasMember_.back() = true;
    text_ += "\n" + std::string(2 * hasMember_.size(), ' ');
  }
  if (!key.empty())
    text_ += Quoted(key) + ": ";
}

void JsonWriter::Open(const std::string &key, char bracket) {
  Key(key);
  text_ += bracket;
  hasMember_.push_back(false);
}

void JsonWriter::Close(char bracket) {
  const bool any = hasMember_.back();
  hasMember_.pop_back();
  if (any)
    text_ += "\n" + std::string(2 * hasMember_.size(), ' ');
  text_ += bracket;
  if (hasMember_.empty())
    text_ += '\n';
}

JsonWriter &JsonWriter::BeginObject(const std::string &key) {
  Open(key, '{');
  return *this;
}

JsonWriter &JsonWriter::EndObject() {
  Close('}');
  return *this;
}

JsonWriter &JsonWriter::BeginArray(const std::string &key) {
  Open(key, '[');
  return *this;
}

JsonWriter &JsonWriter::EndArray() {
  Close(']');
  return *this;
}

JsonWriter &JsonWriter::Value(const std::string &key, const std::string &text) {
  Key(key);
  text_ += Quoted(text);
  return *this;
}

JsonWriter &JsonWriter::Value(const std::string &key, uint64_t number) {
  Key(key);
  text_ += std::to_string(number);
  return *this;
}

JsonWriter &JsonWriter::Value(const std::string &key, double number) {
  Key(key);
  char formatted[32];
  std::snprintf(formatted, sizeof formatted, "%.6g", number);
  text_ += formatted;
  return *this;
}

JsonWriter &JsonWriter::Value(const std::string &key, bool flag) {
  Key(key);
  text_ += flag ? "true" : "false";
  return *this;
}

} // namespace orvane::bench
