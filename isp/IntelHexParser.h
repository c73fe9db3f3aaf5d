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
// records (03, 05) are skipped and the end record (01) is the last record.
// Every line holds one record or only blanks and tabs. A line of anything
// else (a record that lost its colon, text before, between or after the
// records), a record with a bad checksum, a character that is not a
// hexadecimal digit, too few or too many characters for its byte count, an
// unknown type, data at or past the end of the image, or two records giving
// one address different values refuses the text, as does text without data
// or without an end record. On refusal
// buffer may hold part of the text: parse into a buffer of your own.
IntelHexOutcome ParseIntelHex(std::istream &text, std::vector<uint8_t> &buffer);

} // namespace orvane
