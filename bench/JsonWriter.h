#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::bench {

// Builds JSON text as it goes: Begin/End of objects and arrays, keyed or
// not, with the commas where they belong.
class JsonWriter {
public:
  JsonWriter &BeginObject(const std::string &key = {});
  JsonWriter &EndObject();
  JsonWriter &BeginArray(const std::string &key = {});
  JsonWriter &EndArray();
  JsonWriter &Value(const std::string &key, const std::string &text);
  JsonWriter &Value(const std::string &key, const char *text) { return Value(key, std::string(text)); }
  JsonWriter &Value(const std::string &key, uint64_t number);
  JsonWriter &Value(const std::string &key, double number);
  JsonWriter &Value(const std::string &key, bool flag);

  const std::string &Text() const { return text_; }

private:
  void Key(const std::string &key);
  void Open(const std::string &key, char bracket);
  void Close(char bracket);

  std::string text_;
  std::vector<bool> hasMember_; // per open object or array
};

} // namespace orvane::bench
