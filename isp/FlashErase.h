#pragma once

#include "isp/EraseClearance.h"
#include "isp/FlashWorkers.h"
#include "isp/IspView.h"

#include <functional>

namespace orvane {

// How an update's chip erase ended.
enum class ChipEraseEnd {
  Erased,     // a status read showed the erase done
  NotEnabled, // the write enable did not go through: no erase was sent
  Refused,    // the erase was sent but did not go through, and the device answers
  Unsent,     // the device went silent while it was sent and did not come back
  StillBusy,  // the flash said busy until the limit
  Unreadable, // no status read went through: how the erase went is unknown
  Halted,     // the device went away or the deadline passed while it was waited for
};

struct ChipEraseOutcome {
  ChipEraseEnd end = ChipEraseEnd::NotEnabled;
  // An erase instruction may have reached the flash.
  bool mayHaveErased = false;
};

// The one chip erase: write enable and chip erase, then the wait for its
// end. For the update (EraseChip) only on an attempt's proven grounds, and
// asked again when the device went silent and came back; for the ISP page
// (Run) as the engineer asks, whole chip or 4 KB sectors.
class FlashErase {
public:
  static constexpr uint32_t kSectorBytes = 4096;

  FlashErase(ChipCommands &chip, FlashWorkers &workers) : chip_(chip), workers_(workers) {}

  // onPoll sees each status poll of the wait.
  [[nodiscard]] ChipEraseOutcome EraseChip(const EraseClearance &clearance,
                                           const std::function<void(int poll)> &onPoll);

  // The ISP page's erase, with the page's texts: opens the device, waits
  // for each erase, closes it. When a wait ran out: "Erase Flash Fail" and
  // IspFailed set; the other sectors of the range are still erased.
  // Returns whether every wait finished, as the page has already shown.
  bool Run(bool wholeChip, FlashState &flash, IspView &view);

private:
  enum class Sent { NotEnabled, Failed, Sent };
  // A not-busy status after a lost erase command proves nothing: the erase
  // counts as sent only when both writes went through.
  Sent SendChipErase();

  ChipCommands &chip_;
  FlashWorkers &workers_;
};

} // namespace orvane
