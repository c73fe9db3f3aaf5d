#pragma once

#include "isp/IspView.h"
#include "usb/ChipCommands.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

inline constexpr uint32_t kReadBackEnd = 0x8000; // the first 32 KB

// Reads flash back, every block twice, into a buffer that keeps the last
// read-back; blocks never read consistently stay 0x5A.
class FlashReadBack {
public:
  static constexpr uint8_t kUnreadFill = 0x5A;

  explicit FlashReadBack(std::vector<uint8_t> &buffer) : buffer_(buffer) {}

  // The device handle must be open. True when every block read
  // consistently: two reads of it went through and agree.
  [[nodiscard]] bool ReadBackRange(ChipCommands &chip, IspView &view, uint32_t start, uint32_t end);

private:
  std::vector<uint8_t> &buffer_;
};

// Rows of sixteen "0xHH, " entries, each row ending in one carriage return.
std::string ReadBackText(const std::vector<uint8_t> &buffer, uint32_t end);

// Writes the text file through a temporary file beside it ("<path>.part")
// renamed over it at the end; on failure returns false with the reason in
// *error and any earlier file at path is left as it was.
[[nodiscard]] bool WriteReadBackFile(const std::string &path, const std::vector<uint8_t> &buffer, uint32_t end,
                                     std::string *error);

} // namespace orvane
