#pragma once

#include <string>
#include <string_view>

namespace orvane {

// Texts the device keeps (identifiers, descriptor strings) travel one byte
// per character in the Western Windows code page, Windows-1252. Only the
// printable characters that ISO 8859-1 (Latin-1) encodes with the same
// byte are taken: U+0020 to U+007E and U+00A0 to U+00FF. Then the device
// reads the same character whether it takes the bytes as Windows-1252 or
// widens them to UTF-16 for its string descriptors. Control characters and
// the Windows-1252 extras at 0x80-0x9F (the euro sign, curly quotes ...)
// would turn into garbage on one of these readings and are refused.
struct SingleByteText {
  bool ok = false;
  std::string bytes;   // one byte per character when ok
  std::string refusal; // why the text cannot be sent, when not ok
};

// text is UTF-8, as the window's boxes hand it over.
SingleByteText ToSingleByteText(std::string_view text);

} // namespace orvane
