#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace orvane {

struct IntelHexOutcome {
  bool ok = false;
  uint32_t length = 0; // one past the highest address a data record reached
  std::string error;   // why the text was refused, with its line number
};

// Reads Intel HEX text into buffer (a whole image, already filled with the
// erased value). Data records (00) are stored at their address, the extended
// segment (02) and extended linear (04) records move the base, start address
// records (03, 05) are skipped and reading ends at the end record (01).
// Characters outside records are skipped. A record with a bad checksum, a
// character that is not a hexadecimal digit, too few characters for its byte
// count, an unknown type, or data at or past the end of the image refuses
// the text, as does text without data or without an end record. On refusal
// buffer may hold part of the text: parse into a buffer of your own.
IntelHexOutcome ParseIntelHex(std::istream &text, std::vector<uint8_t> &buffer);

} // namespace orvane
