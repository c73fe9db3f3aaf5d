#pragma once

#include "isp/FlashState.h"
#include "isp/ImageRecord.h"
#include "isp/IspView.h"
#include "usb/ChipCommands.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace orvane {

// The flash walks and waits shared by the ISP page's buttons and the update
// sequences. The device handle must be open. Flash addresses are byte
// addresses, end exclusive; the flash byte at address a holds the image
// byte at a - imageBase.
class FlashWorkers {
public:
  static constexpr uint32_t kBlockBytes = 64;
  static constexpr int kBlockAttempts = 3;
  static constexpr int kEraseReads = 1000;
  static constexpr uint32_t kErasePollMs = 10;

  FlashWorkers(ChipCommands &chip, const ImageRecord &image, FlashState &flash, IspView &view)
      : chip_(chip), image_(image), flash_(flash), view_(view) {}

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
  // The erase wait: 10 ms, then up to 1000 status reads 10 ms apart, and
  // no longer than the part's chip erase may take, until the
  // write-in-progress bit clears; onPoll sees each poll and its status.
  [[nodiscard]] bool WaitForErase(const std::function<void(int poll, uint8_t status)> &onPoll);
  // Write enable, write status 0, wait.
  void ClearStatusRegister();
  // The device is gone, or the update's deadline has passed: every walk
  // and wait ends at once, as failed.
  bool Halted() const;
  // Write enable, the protecting status value for this part, wait; the
  // status the wait ended on, nullopt when the flash never finished.
  [[nodiscard]] std::optional<uint8_t> ProtectFlash();

private:
  enum class Expect { Erased, Image };
  [[nodiscard]] bool CheckBlocks(uint32_t start, uint32_t end, uint32_t imageBase, Expect expect);
  uint8_t ImageByte(uint32_t flashAddress, uint32_t imageBase) const;
  // Up to 101 status reads, 1 ms apart, until no write is in progress.
  [[nodiscard]] bool WaitProgramIdle();
  // Whether a wait begun at startUs has run past limitMs, or must end anyway.
  bool WaitOver(uint64_t startUs, uint32_t limitMs) const;

  ChipCommands &chip_;
  const ImageRecord &image_;
  FlashState &flash_;
  IspView &view_;
};

// Serial-flash instructions carry 24-bit addresses: beyond 16 MB they
// would wrap to the start of the flash.
inline constexpr uint64_t kFlashAddressSpace = uint64_t{1} << 24;
inline bool FitsFlashAddressSpace(uint64_t start, uint64_t length) {
  return start + length <= kFlashAddressSpace;
}

// "Flash Erase All " followed by the dots that grow every 20 polls and wrap after nine.
std::string EraseProgressText(const std::string &prefix, int poll);

} // namespace orvane
