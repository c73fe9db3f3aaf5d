#pragma once

#include "isp/FlashWorkers.h"

namespace orvane {

// The ISP page's erase: the whole chip, or the 4 KB sectors of the range.
// Opens the device, waits for each erase with the page's texts, closes it.
// When a wait ran out: "Erase Flash Fail" and IspFailed set; the other
// sectors of the range are still erased.
class FlashErase {
public:
  static constexpr uint32_t kSectorBytes = 4096;

  FlashErase(ChipCommands &chip, FlashWorkers &workers, FlashState &flash, IspView &view)
      : chip_(chip), workers_(workers), flash_(flash), view_(view) {}

  // Returns whether every wait finished.
  [[nodiscard]] bool Run(bool wholeChip);

private:
  [[nodiscard]] bool Wait(const std::function<std::string(int poll)> &caption);

  ChipCommands &chip_;
  FlashWorkers &workers_;
  FlashState &flash_;
  IspView &view_;
};

} // namespace orvane
