#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

// The toolkit's conversion error: a text that is not a valid integer.
// Thrown by StrToInt and shown at the handler boundary as a message box.
class ConvertError : public std::runtime_error {
public:
  explicit ConvertError(const std::string &text) : std::runtime_error("'" + text + "' is not a valid integer value") {}
};

// Decimal, or hexadecimal after "0x", "0X" or "$", with an optional sign;
// surrounding blanks are not allowed. Throws ConvertError.
int StrToInt(const std::string &text);

} // namespace orvane
