#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// Rows of sixteen "0xHH, " entries, each row ending in one carriage return.
std::string ReadBackText(const std::vector<uint8_t> &buffer, uint32_t end);

// Why a read-back could not be written to path, found out without making
// or changing anything there: its folder is missing or closed to writing,
// or path is a folder. Empty when it may be written.
std::string ReadBackTargetRefusal(const std::string &path);

// Writes the text file through a temporary file made afresh beside it
// (never through a link, never over another file) and renamed over path at
// the end: a link at path is replaced, as mv replaces it, and never
// followed, and a failure leaves an earlier file at path as it was. A
// character device at path (/dev/null) is written as it is. False, with
// the reason in *error, when the rows are not all in the file.
[[nodiscard]] bool WriteReadBackFile(const std::string &path, const std::vector<uint8_t> &buffer, uint32_t end,
                                     std::string *error);

} // namespace orvane
