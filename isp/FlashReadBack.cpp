#include "isp/FlashReadBack.h"

#include "isp/HexText.h"
#include "usb/ErrnoText.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

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
      // Only two reads that both went through and agree make a block
      // consistent: a failed second read compares nothing.
      block.fill(0);
      const bool secondRead = chip.FlashRead(a, kBlock, block.data());
      const auto diff = std::mismatch(block.begin(), block.begin() + count, buffer_.begin() + a);
      if (!secondRead) {
        ++failures;
      } else if (diff.first == block.begin() + count) {
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

namespace {
// Puts from in the place of to, replacing a file that is there in one step.
bool ReplaceWith(const std::filesystem::path &from, const std::filesystem::path &to, std::string &reason) {
#ifdef _WIN32
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  reason = std::system_category().message(static_cast<int>(GetLastError()));
  return false;
#else
  std::error_code renamed;
  std::filesystem::rename(from, to, renamed);
  reason = renamed.message();
  return !renamed;
#endif
}

bool WriteInPlace(const std::filesystem::path &target, const std::string &path, const std::string &text,
                  std::string *error) {
  std::ofstream file(target, std::ios::binary | std::ios::trunc);
  if (file)
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (file)
    file.close();
  if (!file) {
    if (error)
      *error = "Cannot write " + path + ": " + ErrnoText(errno);
    return false;
  }
  return true;
}
} // namespace

bool WriteReadBackFile(const std::string &path, const std::vector<uint8_t> &buffer, uint32_t end, std::string *error) {
  const std::string text = ReadBackText(buffer, end);
  const std::filesystem::path target(std::u8string(path.begin(), path.end()));
  // Written beside the target and renamed over it at the end, so a failure
  // leaves an existing file as it was.
  std::error_code examined;
  const auto type = std::filesystem::status(target, examined).type();
  // A device or pipe is written to as it is; nothing is renamed over it.
  if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::regular &&
      type != std::filesystem::file_type::none)
    return WriteInPlace(target, path, text, error);
  std::filesystem::path temporary = target;
  temporary += ".part";
  const auto fail = [&](const std::string &what, const std::string &reason) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    if (error)
      *error = what + path + ": " + reason;
    return false;
  };
  std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
  if (!file)
    return fail("Cannot create ", ErrnoText(errno));
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  if (!file)
    return fail("Cannot write ", ErrnoText(errno));
  std::string reason;
  if (!ReplaceWith(temporary, target, reason))
    return fail("Cannot write ", reason);
  return true;
}

} // namespace orvane
