#pragma once

namespace orvane {

// What a flash walk or wait turns to when its device has stopped
// answering without going away: the device is opened again and brought
// back to where the walk left it (in ISP mode, the same flash), so that
// the walk can go on from the block it was at. A walk without one ends
// at the silence, as a lost device ends it.
class SilenceRecovery {
public:
  virtual ~SilenceRecovery() = default;
  // True when the device answers again and can take the walk's next
  // transfer; false when it is gone, has changed, or stayed silent too long.
  [[nodiscard]] virtual bool Recover() = 0;
};

} // namespace orvane
