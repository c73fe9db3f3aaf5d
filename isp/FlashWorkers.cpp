#include "isp/FlashWorkers.h"

#include "isp/FlashTimeLimits.h"
#include "isp/HexText.h"

#include <algorithm>
#include <array>

namespace orvane {

namespace {
constexpr uint8_t kWriteInProgress = 0x01;
constexpr int kIdleReads = 101;
constexpr int kReadyPollsAfterProgram = 10;

uint32_t BlocksBetween(uint32_t start, uint32_t end, uint32_t step) {
  return end > start ? (end - start + step - 1) / step : 0;
}
} // namespace

std::string EraseProgressText(const std::string &prefix, int poll) {
  return prefix + std::string(static_cast<size_t>((poll / 20) % 10), '.');
}

uint8_t FlashWorkers::ImageByte(uint32_t flashAddress, uint32_t imageBase) const {
  // Outside the image buffer the flash is expected erased.
  if (flashAddress < imageBase)
    return 0xFF;
  const uint32_t index = flashAddress - imageBase;
  return index < image_.ImageBuffer.size() ? image_.ImageBuffer[index] : 0xFF;
}

bool FlashWorkers::CheckBlocks(uint32_t start, uint32_t end, uint32_t imageBase, Expect expect) {
  const bool blank = expect == Expect::Erased;
  const FlashPhase phase = blank ? FlashPhase::BlankCheck : FlashPhase::Verify;
  const std::string addressPrefix = blank ? "Blanking Addr: 0x" : "Verifying Addr: 0x";
  const std::string failPrefix = blank ? "Blanking Fail at 0x" : "Verifying Fail at 0x";
  const uint32_t totalBlocks = BlocksBetween(start, end, kBlockBytes);
  int failures = 0;
  uint32_t a = start;
  while (a < end) {
    if (Halted())
      return false;
    std::array<uint8_t, kBlockBytes> block{};
    uint32_t failedAt = a;
    if (!chip_.FlashRead(a, kBlockBytes, block.data())) {
      ++failures;
    } else {
      const uint32_t count = std::min<uint32_t>(kBlockBytes, end - a);
      bool equal = true;
      for (uint32_t i = 0; i < count; ++i) {
        const uint8_t expected = blank ? 0xFF : ImageByte(a + i, imageBase);
        if (block[i] != expected) {
          equal = false;
          failedAt = a + i;
          break;
        }
      }
      failures = equal ? 0 : failures + 1;
      view_.ShowProcessAddress(addressPrefix + Hex6(a));
      view_.ProcessMessages();
    }
    if (failures >= kBlockAttempts) {
      view_.ShowProcessInfo(failPrefix + Hex6(failedAt));
      return false;
    }
    if (failures == 0) {
      a += kBlockBytes;
      view_.Progress(phase, BlocksBetween(start, std::min(a, end), kBlockBytes), totalBlocks);
    }
  }
  return true;
}

bool FlashWorkers::BlankCheckRange(uint32_t start, uint32_t end) {
  return CheckBlocks(start, end, 0, Expect::Erased);
}

bool FlashWorkers::VerifyRange(uint32_t start, uint32_t end, uint32_t imageBase) {
  return CheckBlocks(start, end, imageBase, Expect::Image);
}

bool FlashWorkers::Halted() const {
  return chip_.Usb().Loss() != DeviceLoss::None ||
         (flash_.DeadlineUs != 0 && chip_.Time().NowUs() >= flash_.DeadlineUs);
}

bool FlashWorkers::WaitOver(uint64_t startUs, uint32_t limitMs) const {
  return Halted() || chip_.Time().NowUs() - startUs >= uint64_t{limitMs} * 1000;
}

bool FlashWorkers::WaitProgramIdle() {
  const uint64_t start = chip_.Time().NowUs();
  const uint32_t limit = TimeLimitsFor(flash_.FlashId).pageProgramMs;
  for (int read = 0; read < kIdleReads; ++read) {
    if ((chip_.FlashReadStatus() & kWriteInProgress) == 0)
      return true;
    if (WaitOver(start, limit))
      return false;
    chip_.Time().SleepMs(1);
  }
  return false;
}

bool FlashWorkers::ProgramRange(uint32_t start, uint32_t end, uint32_t imageBase) {
  const uint16_t chunk = flash_.ProgramChunkSize;
  if (chunk == 0)
    return false; // a walk that never advances
  const uint32_t totalChunks = BlocksBetween(start, end, chunk);
  std::vector<uint8_t> data(chunk);
  auto takeChunk = [&](uint32_t a) {
    bool erased = true;
    for (uint32_t i = 0; i < chunk; ++i) {
      data[i] = ImageByte(a + i, imageBase);
      erased = erased && data[i] == 0xFF;
    }
    return !erased;
  };
  auto progress = [&](uint32_t a) {
    view_.Progress(FlashPhase::Program, BlocksBetween(start, std::min(a + chunk, end), chunk), totalChunks);
  };

  // A write that did not go through fails the walk at its end, after the
  // same transfers as one that did: programmed data is only known good once
  // verified, but a lost write is known bad now.
  bool sent = true;
  if (!flash_.WordProgramMode) {
    bool programmed = false;
    for (uint32_t a = start; a < end; a += chunk) {
      if (Halted())
        return false;
      if (takeChunk(a)) {
        programmed = true;
        const bool idle = WaitProgramIdle();
        sent = chip_.FlashWriteEnable() && sent;
        view_.ShowProcessAddress("0x" + Hex6(a));
        view_.ProcessMessages();
        if (!idle)
          return false;
        sent = chip_.FlashPageProgram(a, chunk, data.data()) && sent;
        for (int poll = 0; poll < kReadyPollsAfterProgram; ++poll) {
          chip_.Time().SleepMs(1);
          if (chip_.FlashReady())
            break;
        }
      }
      progress(a);
    }
    // The last page may still be programming, and the flash ignores a read
    // until it is done: whoever reads next would see a busy flash, not the
    // data.
    return (!programmed || WaitProgramIdle()) && sent;
  }

  const bool idle = WaitProgramIdle();
  for (uint32_t a = start; a < end; a += chunk) {
    if (Halted())
      return false;
    view_.ShowProcessAddress("0x" + Hex6(a));
    view_.ProcessMessages();
    const bool enabled = chip_.FlashWriteEnable();
    if (takeChunk(a)) {
      if (!idle)
        return false;
      sent = chip_.FlashWordProgram(a, chunk, data.data()) && enabled && sent;
      sent = chip_.FlashWriteDisable() && sent;
    }
    progress(a);
  }
  return idle && sent;
}

void FlashWorkers::ChooseFlashType() {
  flash_.Part = FlashPartFor(flash_.FlashId);
  flash_.ProgramChunkSize = flash_.Part.chunkBytes;
  flash_.WordProgramMode = flash_.Part.mode == ProgramMode::Word;
}

bool FlashWorkers::IdentifyFlash() {
  std::array<uint8_t, 3> id{};
  const bool read = chip_.FlashReadId();
  if (read)
    id = chip_.FlashId();
  flash_.FlashId = id;
  ChooseFlashType();
  return read;
}

std::optional<uint8_t> FlashWorkers::WaitWhileBusy() {
  const uint64_t start = chip_.Time().NowUs();
  const uint32_t limit = TimeLimitsFor(flash_.FlashId).statusWriteMs;
  for (int read = 0; read < kEraseReads; ++read) {
    const uint8_t status = chip_.FlashReadStatus();
    if ((status & kWriteInProgress) == 0)
      return status;
    if (WaitOver(start, limit))
      break;
    // A flash that stays busy holds this loop for ten seconds.
    view_.ProcessMessages();
    chip_.Time().SleepMs(kErasePollMs);
  }
  return std::nullopt;
}

bool FlashWorkers::WaitForErase(const std::function<void(int poll, uint8_t status)> &onPoll) {
  const uint64_t start = chip_.Time().NowUs();
  const uint32_t limit = TimeLimitsFor(flash_.FlashId).chipEraseMs;
  chip_.Time().SleepMs(kErasePollMs);
  for (int poll = 0; poll < kEraseReads; ++poll) {
    const uint8_t status = chip_.FlashReadStatus();
    onPoll(poll, status);
    view_.Progress(FlashPhase::Erase, static_cast<uint32_t>(poll), kEraseReads);
    if ((status & kWriteInProgress) == 0)
      return true;
    if (WaitOver(start, limit))
      return false;
    chip_.Time().SleepMs(kErasePollMs);
  }
  return false;
}

void FlashWorkers::ClearStatusRegister() {
  static_cast<void>(
      chip_.FlashReadStatus()); // read only to begin the sequence the part expects; the value does not matter
  static_cast<void>(
      chip_.FlashWriteEnable()); // a status left protecting the flash shows in the blank check after the erase
  static_cast<void>(
      chip_.FlashWriteStatus(0));     // a status left protecting the flash shows in the blank check after the erase
  static_cast<void>(WaitWhileBusy()); // a status left protecting the flash shows in the blank check after the erase
}

std::optional<uint8_t> FlashWorkers::ProtectFlash() {
  // The status the wait ends on tells whether the protection took.
  static_cast<void>(chip_.FlashWriteEnable());
  static_cast<void>(chip_.FlashWriteStatus(flash_.Part.protectValue));
  return WaitWhileBusy();
}

} // namespace orvane
