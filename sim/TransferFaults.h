#pragma once

#include "usb/UsbTransport.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace orvane::sim {

enum class FaultAction : uint8_t {
  Fail,  // the transfer is lost on the way: the host sees a transport error
  Stall, // the device rejects the request
  Delay, // the device answers, but only after delayMs of the clock
  Flip,  // an IN answer arrives with the bits of flipMask turned over in its first byte
  // The device never answers: the host waits delayMs of the clock (its
  // time-out) and sees a transport error. A wedged chip.
  Timeout,
  // The device is unplugged as this transfer arrives.
  Unplug,
  // The device does what was asked, but answers only after delayMs of the
  // clock, past the host's time-out: the host sees a transport error.
  Late,
  // From this transfer on, for delayMs of the clock, the device answers
  // nothing while it stays attached; each transfer meanwhile costs the host
  // hostTimeoutMs. Then it answers again, as before.
  Silence,
};

// Which transfers a fault hits: all, or those of one request code and/or
// direction; the n-th of them (counted from when the fault was armed,
// starting at 1) or, with nth 0, every one.
struct TransferFault {
  FaultAction action = FaultAction::Fail;
  std::optional<uint8_t> request;
  std::optional<bool> in;
  uint64_t nth = 0;
  uint32_t delayMs = 0;
  uint64_t seen = 0;
  uint8_t flipMask = 0x01;
  uint32_t hostTimeoutMs = 1000;
};

// The transfer-level faults of a simulated device, and when it is unplugged.
class TransferFaults {
public:
  void Add(const TransferFault &fault) { faults_.push_back(fault); }
  void FailNth(uint64_t nth) { Add({FaultAction::Fail, std::nullopt, std::nullopt, nth}); }
  void StallNth(uint64_t nth) { Add({FaultAction::Stall, std::nullopt, std::nullopt, nth}); }
  void FailEvery(uint8_t request) { Add({FaultAction::Fail, request, std::nullopt, 0}); }
  void StallEvery(uint8_t request) { Add({FaultAction::Stall, request, std::nullopt, 0}); }
  // The nth IN answer from now on arrives with mask flipped in its first byte.
  void FlipNthAnswer(uint64_t nth, uint8_t mask) { Add({FaultAction::Flip, std::nullopt, true, nth, 0, 0, mask}); }
  // From now on no transfer is answered; each costs the host timeoutMs.
  void Wedge(uint32_t timeoutMs) { Add({FaultAction::Timeout, std::nullopt, std::nullopt, 0, timeoutMs}); }
  // From the nth transfer on, nothing is answered for durationMs; each
  // transfer meanwhile costs the host timeoutMs.
  void SilenceFrom(uint64_t nth, uint32_t durationMs, uint32_t timeoutMs) {
    Add({FaultAction::Silence, std::nullopt, std::nullopt, nth, durationMs, 0, 0x01, timeoutMs});
  }
  // The nth transfer is carried out but answered after delayMs, which the
  // host has given up waiting for.
  void LateNth(uint64_t nth, uint32_t delayMs) { Add({FaultAction::Late, std::nullopt, std::nullopt, nth, delayMs}); }
  // After count more transfers have been answered, the device is gone.
  void UnplugAfter(uint64_t count) { unplugAfter_ = count; }
  void Clear();

  // The first armed fault that hits this transfer, if any.
  std::optional<TransferFault> Hit(const SetupPacket &setup);
  // Counts an answered transfer; true when that was the last one before the unplug.
  bool CountTowardsUnplug();

private:
  std::vector<TransferFault> faults_;
  std::optional<uint64_t> unplugAfter_;
};

} // namespace orvane::sim
