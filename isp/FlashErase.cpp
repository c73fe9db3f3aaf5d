#include "isp/FlashErase.h"

#include "isp/HexText.h"

namespace orvane {

bool FlashErase::Wait(const std::function<std::string(int poll)> &caption) {
  return workers_.WaitForErase([&](int poll, uint8_t status) {
    view_.ShowProcessInfo(caption(poll));
    view_.ShowStatusRegister("Status Register: 0x" + Hex2(status));
    view_.ProcessMessages();
  });
}

bool FlashErase::Run(bool wholeChip) {
  static_cast<void>(chip_.Usb().Open()); // a failed open fails the transfers that follow, and they report it
  bool finished = true;
  bool waited = false;
  if (wholeChip) {
    view_.ShowProcessInfo("Flash Erase All ");
    // A lost erase command leaves a flash that reads not busy, and not erased.
    const bool sent = chip_.FlashWriteEnable() && chip_.FlashChipErase();
    finished = Wait([](int poll) { return EraseProgressText("Flash Erase All ", poll); }) && sent;
    waited = true;
  } else {
    view_.ShowProcessInfo("Flash Sector Erase");
    const uint64_t end = uint64_t{flash_.RangeStart} + flash_.RangeSize;
    for (uint64_t a = flash_.RangeStart; a < end; a += kSectorBytes) {
      const auto address = static_cast<uint32_t>(a);
      const bool sent = chip_.FlashWriteEnable() && chip_.FlashSectorErase(address);
      // A sector that never finished is not erased, and the flash, still
      // busy, may have ignored the sectors after it: the run has failed
      // even when the last wait finished.
      finished = Wait([&](int) { return "Flash Sector Erase: 0x " + Hex6(address); }) && finished && sent;
      waited = true;
    }
  }
  chip_.Usb().Close();
  if (waited && !finished) {
    view_.ShowProcessInfo("Erase Flash Fail");
    flash_.IspFailed = true;
  }
  return finished;
}

} // namespace orvane
