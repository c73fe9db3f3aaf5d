#pragma once

#include "isp/BlockWalk.h"
#include "isp/FlashEvents.h"
#include "isp/FlashState.h"
#include "isp/ImageRecord.h"
#include "isp/SilenceRecovery.h"
#include "usb/ChipCommands.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The flash walks and waits shared by the ISP page's buttons and the update
// sequences, telling events what they do. The device handle must be open. Flash addresses are byte
// addresses, end exclusive; the flash byte at address a holds the image
// byte at a - imageBase. With a silence recovery set, a device that stops
// answering in the middle of a walk or wait is handed to it, and the walk
// goes on from the block or chunk it was at; time spent there does not
// count against the wait's own limit.
class FlashWorkers final : public WalkGate {
public:
  FlashWorkers(ChipCommands &chip, const ImageRecord &image, FlashState &flash, FlashEvents &events)
      : chip_(chip), image_(image), flash_(flash), events_(events) {}

  void SetSilenceRecovery(SilenceRecovery *recovery) { recovery_ = recovery; }

  [[nodiscard]] bool BlankCheckRange(uint32_t start, uint32_t end);
  [[nodiscard]] bool VerifyRange(uint32_t start, uint32_t end, uint32_t imageBase);
  [[nodiscard]] bool ProgramRange(uint32_t start, uint32_t end, uint32_t imageBase);

  // Chooses chunk size, program mode and protection from the identifier
  // read last, by its row in the part table.
  void ChooseFlashType();
  // Reads the identifier and chooses from it. An identifier that cannot be
  // read counts as all zeros, never as the one read before; false then.
  [[nodiscard]] bool IdentifyFlash();
  // Reads the status up to 1000 times, 10 ms apart and no longer than the
  // part's status write may take, while a write is in progress; the status
  // that showed it finished, nullopt when none did.
  [[nodiscard]] std::optional<uint8_t> WaitWhileBusy();
  enum class EraseEnd {
    Finished,   // a status read showed the erase done
    StillBusy,  // the flash said busy until the limit: the erase failed
    Unreadable, // no status read went through: how the erase went is unknown
    Halted,     // the device went away or the deadline passed
  };
  // The erase wait: 10 ms, then up to 1000 status reads 10 ms apart, and
  // no longer than the part's chip erase may take, until the
  // write-in-progress bit clears; onPoll sees each poll and its status.
  [[nodiscard]] EraseEnd WaitForEraseEnd(const std::function<void(int poll, uint8_t status)> &onPoll);
  [[nodiscard]] bool WaitForErase(const std::function<void(int poll, uint8_t status)> &onPoll) {
    return WaitForEraseEnd(onPoll) == EraseEnd::Finished;
  }
  // Write enable, write status 0, wait; the status that showed the flash
  // idle after it, nullopt when none did.
  std::optional<uint8_t> ClearStatusRegister();
  // The device is gone, or the update's deadline has passed: every walk
  // and wait ends at once, as failed.
  bool Halted() const;
  // Whether a walk may go on: the deadline has not passed and the device
  // answers, after a recovery if it had stopped.
  [[nodiscard]] bool Resume() override;
  // Whether the last program walk sent the write of its first chunk, the
  // one that makes the chip start the image.
  bool StartWritten() const { return startWritten_; }
  // Write enable and the erase of the 4 KB sector at flash address 0, and
  // the wait for it: a chip whose image did not verify then comes up in
  // update mode instead of starting it. Whether the flash showed the
  // erase finished.
  [[nodiscard]] bool EraseStartSector();
  // How many times the device was brought back since these workers began.
  uint64_t Recoveries() const override { return recoveries_; }
  // Why the last walk or wait failed, in words, when it could tell:
  // "Verifying Fail at 0x001000", "the flash stayed busy before 0x000100".
  const std::string &LastFailure() const { return lastFailure_; }
  // Write enable, the protecting status value for this part, wait; the
  // status the wait ended on, nullopt when the flash never finished, for
  // whoever checks that the protection took.
  std::optional<uint8_t> ProtectFlash();

private:
  // The wait for an erase to end; showProgress reports its polls as the
  // erase step's progress.
  EraseEnd WaitWhileErasing(const std::function<void(int poll, uint8_t status)> &onPoll, bool showProgress);
  // When a wait began, and how long recoveries had taken by then.
  struct WaitStart {
    uint64_t us;
    uint64_t recoveredUs;
  };

  // The blank check or the verify: every block of [start, end) read as
  // expected(address) says it should.
  [[nodiscard]] bool CheckBlocks(FlashPhase phase, uint32_t start, uint32_t end,
                                 const std::function<uint8_t(uint32_t)> &expected);
  [[nodiscard]] bool ProgramPages(const std::vector<uint32_t> &order, uint32_t imageBase);
  [[nodiscard]] bool ProgramWords(const std::vector<uint32_t> &order, uint32_t imageBase);
  // Whether the walk moves on from the chunk at a, noting in sent whether
  // its writes went through; not when the device was lost during it, so
  // that it is written again once the device answers.
  bool ChunkDone(uint32_t a, bool chunkSent, bool &sent);
  // Write enable, the status value, and the wait until the flash is idle;
  // the status the wait ended on, nullopt when it never was.
  std::optional<uint8_t> WriteStatusAndWait(uint8_t value);
  // Takes the image's chunk at flash address a into chunk_; false when it
  // is all 0xFF (nothing to program).
  bool TakeChunk(uint32_t a, uint32_t imageBase);
  uint8_t ImageByte(uint32_t flashAddress, uint32_t imageBase) const;
  // Up to 101 status reads, 1 ms apart, until no write is in progress.
  [[nodiscard]] bool WaitProgramIdle();
  WaitStart StartWait() const { return {chip_.Time().NowUs(), recoveredUs_}; }
  // Whether a wait has run past limitMs, not counting recoveries, or must end anyway.
  bool WaitOver(const WaitStart &start, uint32_t limitMs) const;
  bool Lost() const { return chip_.Usb().Loss() != DeviceLoss::None; }
  void Fail(std::string why) { lastFailure_ = std::move(why); }

  ChipCommands &chip_;
  const ImageRecord &image_;
  FlashState &flash_;
  FlashEvents &events_;
  SilenceRecovery *recovery_ = nullptr;
  uint64_t recoveries_ = 0;
  uint64_t recoveredUs_ = 0;
  std::string lastFailure_;
  std::vector<uint8_t> chunk_;
  bool startWritten_ = false;
};

// Serial-flash instructions carry 24-bit addresses: beyond 16 MB they
// would wrap to the start of the flash.
inline constexpr uint64_t kFlashAddressSpace = uint64_t{1} << 24;
inline bool FitsFlashAddressSpace(uint64_t start, uint64_t length) {
  return start + length <= kFlashAddressSpace;
}

} // namespace orvane
