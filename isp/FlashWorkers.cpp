#include "isp/FlashWorkers.h"

#include "isp/FlashPolicy.h"
#include "isp/FlashTimeLimits.h"
#include "isp/HexText.h"

#include <algorithm>
#include <array>

namespace orvane {

namespace {
constexpr uint8_t kWriteInProgress = 0x01;
constexpr int kIdleReads = 101;
constexpr int kReadyPollsAfterProgram = 10;

// The chunk addresses of [start, end) in the order they are programmed:
// the first chunk last. The chip starts whatever firmware the start of its
// flash holds, and comes up in update mode when that is erased; written
// from the second chunk up and the first one last, a walk cut short
// anywhere (a cable pulled, a hub reset, a laptop gone to sleep) leaves a
// chip that comes up in update mode, where the tool can reach it again,
// and never one that starts half an image.
std::vector<uint32_t> ProgramOrder(uint32_t start, uint32_t end, uint32_t chunk) {
  std::vector<uint32_t> order;
  order.reserve(BlocksBetween(start, end, chunk));
  for (uint64_t a = uint64_t{start} + chunk; a < end; a += chunk)
    order.push_back(static_cast<uint32_t>(a));
  if (start < end)
    order.push_back(start);
  return order;
}
} // namespace

uint8_t FlashWorkers::ImageByte(uint32_t flashAddress, uint32_t imageBase) const {
  // Outside the image buffer the flash is expected erased.
  if (flashAddress < imageBase)
    return 0xFF;
  const uint32_t index = flashAddress - imageBase;
  return index < image_.ImageBuffer.size() ? image_.ImageBuffer[index] : 0xFF;
}

bool FlashWorkers::Halted() const {
  return Lost() || (flash_.DeadlineUs != 0 && chip_.Time().NowUs() >= flash_.DeadlineUs);
}

bool FlashWorkers::Resume() {
  if (flash_.DeadlineUs != 0 && chip_.Time().NowUs() >= flash_.DeadlineUs)
    return false;
  if (!Lost())
    return true;
  // A device that went away does not come back in the middle of a walk;
  // one that only stopped answering may.
  if (!recovery_ || chip_.Usb().Loss() != DeviceLoss::StoppedAnswering)
    return false;
  const uint64_t begun = chip_.Time().NowUs();
  const bool recovered = recovery_->Recover();
  recoveredUs_ += chip_.Time().NowUs() - begun;
  if (recovered)
    ++recoveries_;
  return recovered;
}

bool FlashWorkers::CheckBlocks(FlashPhase phase, uint32_t start, uint32_t end,
                               const std::function<uint8_t(uint32_t)> &expected) {
  lastFailure_.clear();
  BlockWalk walk(phase, events_, this);
  const bool passed = walk.Run(start, end, [&](uint32_t a) {
    std::array<uint8_t, kReadBlockBytes> block{};
    if (!chip_.FlashRead(a, kReadBlockBytes, block.data()))
      return BlockLook{Lost() ? BlockLook::Outcome::Unanswered : BlockLook::Outcome::Bad, false, a};
    const uint32_t count = std::min<uint32_t>(kReadBlockBytes, end - a);
    for (uint32_t i = 0; i < count; ++i)
      if (block[i] != expected(a + i))
        return BlockLook{BlockLook::Outcome::Bad, true, a + i};
    return BlockLook{BlockLook::Outcome::Good, true, a};
  });
  if (!passed)
    Fail(walk.Failure());
  return passed;
}

bool FlashWorkers::BlankCheckRange(uint32_t start, uint32_t end) {
  return CheckBlocks(FlashPhase::BlankCheck, start, end, [](uint32_t) { return uint8_t{0xFF}; });
}

bool FlashWorkers::VerifyRange(uint32_t start, uint32_t end, uint32_t imageBase) {
  return CheckBlocks(FlashPhase::Verify, start, end, [&](uint32_t a) { return ImageByte(a, imageBase); });
}

bool FlashWorkers::WaitOver(const WaitStart &start, uint32_t limitMs) const {
  const uint64_t elapsed = chip_.Time().NowUs() - start.us - (recoveredUs_ - start.recoveredUs);
  return Halted() || elapsed >= uint64_t{limitMs} * 1000;
}

bool FlashWorkers::WaitProgramIdle() {
  const WaitStart start = StartWait();
  const uint32_t limit = TimeLimitsFor(flash_.FlashId).pageProgramMs;
  for (int read = 0; read < kIdleReads; ++read) {
    const std::optional<uint8_t> status = chip_.ReadStatus();
    if (status && (*status & kWriteInProgress) == 0)
      return true;
    // A read nobody answered says nothing of the flash, and its time-out
    // is not the flash's time.
    if (!status && !Halted() && !chip_.Usb().LastTransferAnswered())
      continue;
    if (WaitOver(start, limit))
      return false;
    chip_.Time().SleepMs(1);
  }
  return false;
}

bool FlashWorkers::TakeChunk(uint32_t a, uint32_t imageBase) {
  bool erased = true;
  for (uint32_t i = 0; i < chunk_.size(); ++i) {
    chunk_[i] = ImageByte(a + i, imageBase);
    erased = erased && chunk_[i] == 0xFF;
  }
  return !erased;
}

bool FlashWorkers::ProgramRange(uint32_t start, uint32_t end, uint32_t imageBase) {
  const uint16_t chunk = flash_.ProgramChunkSize;
  lastFailure_.clear();
  if (chunk == 0)
    return false; // a walk that never advances
  chunk_.assign(chunk, 0xFF);
  startWritten_ = false;
  const std::vector<uint32_t> order = ProgramOrder(start, end, chunk);
  return flash_.WordProgramMode ? ProgramWords(order, imageBase) : ProgramPages(order, imageBase);
}

bool FlashWorkers::ChunkDone(uint32_t a, bool chunkSent, bool &sent) {
  if (Lost())
    return false;
  if (!chunkSent && sent)
    Fail("the program write at 0x" + Hex6(a) + " did not go through");
  sent = chunkSent && sent;
  return true;
}

// A write that did not go through fails the walk at its end, after the
// same transfers as one that did: programmed data is only known good once
// verified, but a lost write is known bad now. A chunk during which the
// device stopped answering is written again once it answers.
bool FlashWorkers::ProgramPages(const std::vector<uint32_t> &order, uint32_t imageBase) {
  const uint16_t chunk = flash_.ProgramChunkSize;
  const auto total = static_cast<uint32_t>(order.size());
  bool sent = true;
  bool programmed = false;
  for (uint32_t done = 0; done < total;) {
    const uint32_t a = order[done];
    if (!Resume())
      return false;
    if (TakeChunk(a, imageBase)) {
      programmed = true;
      const bool idle = WaitProgramIdle();
      bool chunkSent = chip_.FlashWriteEnable();
      events_.BlockReached(FlashPhase::Program, a);
      events_.ProcessMessages();
      if (!idle) {
        if (Lost())
          continue;
        Fail("the flash stayed busy before 0x" + Hex6(a));
        return false;
      }
      startWritten_ = startWritten_ || done + 1 == total;
      chunkSent = chip_.FlashPageProgram(a, chunk, chunk_.data()) && chunkSent;
      for (int poll = 0; poll < kReadyPollsAfterProgram; ++poll) {
        chip_.Time().SleepMs(1);
        if (chip_.FlashReady())
          break;
      }
      if (!ChunkDone(a, chunkSent, sent))
        continue;
    }
    events_.BlocksDone(FlashPhase::Program, ++done, total);
  }
  // The last page may still be programming, and the flash ignores a read
  // until it is done: whoever reads next would see a busy flash, not the
  // data.
  if (programmed && !WaitProgramIdle()) {
    if (Lost() && Resume() && WaitProgramIdle())
      return sent;
    Fail("the flash stayed busy after the last chunk");
    return false;
  }
  return sent;
}

bool FlashWorkers::ProgramWords(const std::vector<uint32_t> &order, uint32_t imageBase) {
  const uint16_t chunk = flash_.ProgramChunkSize;
  const auto total = static_cast<uint32_t>(order.size());
  bool idle = WaitProgramIdle();
  while (!idle && Lost() && Resume())
    idle = WaitProgramIdle();
  bool sent = true;
  for (uint32_t done = 0; done < total;) {
    const uint32_t a = order[done];
    if (!Resume())
      return false;
    events_.BlockReached(FlashPhase::Program, a);
    events_.ProcessMessages();
    const bool enabled = chip_.FlashWriteEnable();
    if (TakeChunk(a, imageBase)) {
      if (!idle) {
        Fail("the flash stayed busy before 0x" + Hex6(a));
        return false;
      }
      startWritten_ = startWritten_ || done + 1 == total;
      bool chunkSent = chip_.FlashWordProgram(a, chunk, chunk_.data()) && enabled;
      chunkSent = chip_.FlashWriteDisable() && chunkSent;
      if (!ChunkDone(a, chunkSent, sent))
        continue;
    }
    events_.BlocksDone(FlashPhase::Program, ++done, total);
  }
  if (!idle)
    Fail("the flash stayed busy before programming");
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
  const WaitStart start = StartWait();
  const uint32_t limit = TimeLimitsFor(flash_.FlashId).statusWriteMs;
  for (int read = 0; read < kEraseReads;) {
    const std::optional<uint8_t> status = chip_.ReadStatus();
    if (status && (*status & kWriteInProgress) == 0)
      return status;
    if (!status && Lost()) {
      if (!Resume())
        break;
      continue;
    }
    if (!status && !Halted() && !chip_.Usb().LastTransferAnswered()) {
      ++read;
      continue;
    }
    if (WaitOver(start, limit))
      break;
    // A flash that stays busy holds this loop for ten seconds.
    events_.ProcessMessages();
    chip_.Time().SleepMs(kErasePollMs);
    ++read;
  }
  return std::nullopt;
}

FlashWorkers::EraseEnd FlashWorkers::WaitForEraseEnd(const std::function<void(int poll, uint8_t status)> &onPoll) {
  return WaitWhileErasing(onPoll, true);
}

FlashWorkers::EraseEnd FlashWorkers::WaitWhileErasing(const std::function<void(int poll, uint8_t status)> &onPoll,
                                                      bool showProgress) {
  const WaitStart start = StartWait();
  const uint32_t limit = TimeLimitsFor(flash_.FlashId).chipEraseMs;
  bool answered = false;
  chip_.Time().SleepMs(kErasePollMs);
  for (int poll = 0; poll < kEraseReads;) {
    const std::optional<uint8_t> status = chip_.ReadStatus();
    if (!status && Lost()) {
      if (!Resume())
        return EraseEnd::Halted;
      continue;
    }
    answered = answered || status.has_value();
    onPoll(poll, status.value_or(0xFF));
    if (showProgress)
      events_.BlocksDone(FlashPhase::Erase, static_cast<uint32_t>(poll), kEraseReads);
    if (status && (*status & kWriteInProgress) == 0)
      return EraseEnd::Finished;
    if (!status && !Halted() && !chip_.Usb().LastTransferAnswered()) {
      ++poll;
      continue;
    }
    if (WaitOver(start, limit))
      break;
    chip_.Time().SleepMs(kErasePollMs);
    ++poll;
  }
  if (Halted())
    return EraseEnd::Halted;
  return answered ? EraseEnd::StillBusy : EraseEnd::Unreadable;
}

std::optional<uint8_t> FlashWorkers::WriteStatusAndWait(uint8_t value) {
  // The status the wait ends on is what the write did: a status left
  // protecting the flash shows in the blank check after the erase, a
  // protection that did not take in the protect bits.
  static_cast<void>(chip_.FlashWriteEnable());
  static_cast<void>(chip_.FlashWriteStatus(value));
  return WaitWhileBusy();
}

std::optional<uint8_t> FlashWorkers::ClearStatusRegister() {
  static_cast<void>(chip_.ReadStatus()); // begins the sequence the part expects; the value does not matter
  return WriteStatusAndWait(0);
}

bool FlashWorkers::EraseStartSector() {
  if (!chip_.FlashWriteEnable() || !chip_.FlashSectorErase(0))
    return false;
  // Not a step of its own on screen: the failed step's verdict stays.
  return WaitWhileErasing([&](int, uint8_t) { events_.ProcessMessages(); }, false) == EraseEnd::Finished;
}

std::optional<uint8_t> FlashWorkers::ProtectFlash() {
  return WriteStatusAndWait(flash_.Part.protectValue);
}

} // namespace orvane
