#include "isp/FlashReadBack.h"

#include "isp/HexText.h"
#include "usb/ErrnoText.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace orvane {

namespace {
constexpr uint32_t kBlock = 64;
constexpr int kAttempts = 3;
} // namespace

bool FlashReadBack::ReadBackRange(ChipCommands &chip, IspView &view, uint32_t start, uint32_t end) {
  end = std::min<uint32_t>(end, static_cast<uint32_t>(buffer_.size()));
  if (start >= end)
    return true;
  std::fill(buffer_.begin() + start, buffer_.begin() + end, kUnreadFill);
  const uint32_t totalBlocks = (end - start + kBlock - 1) / kBlock;
  int failures = 0;
  uint32_t a = start;
  while (a < end) {
    const uint32_t count = std::min(kBlock, end - a);
    std::array<uint8_t, kBlock> block{};
    uint32_t failedAt = a;
    if (!chip.FlashRead(a, kBlock, block.data())) {
      ++failures;
    } else {
      std::copy_n(block.begin(), count, buffer_.begin() + a);
      chip.FlashRead(a, kBlock, block.data());
      const auto diff = std::mismatch(block.begin(), block.begin() + count, buffer_.begin() + a);
      if (diff.first == block.begin() + count) {
        failures = 0;
      } else {
        ++failures;
        failedAt = a + static_cast<uint32_t>(diff.first - block.begin());
      }
      view.ShowProcessAddress("Verifying Addr: 0x" + Hex6(a));
      view.ProcessMessages();
    }
    if (failures >= kAttempts) {
      view.ShowProcessInfo("Verifying Fail at 0x" + Hex6(failedAt));
      return false;
    }
    if (failures == 0) {
      a += kBlock;
      view.Progress(FlashPhase::ReadBack, (a - start + kBlock - 1) / kBlock, totalBlocks);
    }
  }
  return true;
}

std::string ReadBackText(const std::vector<uint8_t> &buffer, uint32_t end) {
  end = std::min<uint32_t>(end, static_cast<uint32_t>(buffer.size()));
  std::string text;
  text.reserve(end / 16 * 97 + 97);
  for (uint32_t row = 0; row < end; row += 16) {
    for (uint32_t i = row; i < std::min(row + 16, end); ++i)
      text += "0x" + Hex2(buffer[i]) + ", ";
    text += '\r';
  }
  return text;
}

bool WriteReadBackFile(const std::string &path, const std::vector<uint8_t> &buffer, uint32_t end, std::string *error) {
  const std::string text = ReadBackText(buffer, end);
  std::ofstream file(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary | std::ios::trunc);
  if (!file) {
    if (error)
      *error = "Cannot create " + path + ": " + ErrnoText(errno);
    return false;
  }
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  if (!file) {
    if (error)
      *error = "Cannot write " + path + ": " + ErrnoText(errno);
    return false;
  }
  return true;
}

} // namespace orvane
