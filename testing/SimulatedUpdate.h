#pragma once

#include "isp/FlashState.h"
#include "isp/ImageRecord.h"
#include "isp/IspView.h"
#include "isp/UpdateStatusView.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/ChipCommands.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orvane::sim {

// A simulated chip in update mode behind the emulated generic driver, on a
// virtual clock that every control transfer moves on by the bus latency,
// with the image and flash state the one-button update works on. For the
// fault tests and the benchmark.
class SimulatedUpdate {
public:
  // The simulator charges no wire time of its own: the latency stands in for it.
  SimulatedUpdate(SimConfig config, uint64_t transferLatencyUs);

  // Puts the device on the bus and finds it by the identity it shows now
  // (its model, or update mode). device, when given, is what
  // the bus serves in place of the chip (a model that passes to it);
  // driverBus, when given, is what the device-access object talks to in
  // place of the emulated driver (a bus that passes to it).
  bool Connect(VirtualDevice *device = nullptr, DeviceBus *driverBus = nullptr);
  // The image to program: bytes from address 0, the rest of the buffer erased.
  void LoadImage(const std::vector<uint8_t> &bytes);
  // The one-button update after the user said yes; its verdict.
  bool Run(IspView &ispView, UpdateStatusView &status);
  int AttemptsRun() const { return attempts_; }
  // Why the last run failed beyond a flash step (OneButtonUpdate::FailureReason).
  const std::string &FailureReason() const { return reason_; }
  // Whether the last run got as far as an erase (OneButtonUpdate::FlashChanged).
  bool FlashChanged() const { return flashChanged_; }
  const std::string &Refusal() const { return refusal_; }

  VirtualClock &Clock() { return devices_.clock; }
  // The bus the update's device sits on, to plug other devices beside it.
  SimulatedDeviceStack &Devices() { return devices_; }
  ChipSimulator &Chip() { return chip_; }
  EmulatedDriverBus &DriverBus() { return devices_.bus; }
  const ImageRecord &Image() const { return image_; }
  const FlashState &Flash() const { return flash_; }
  // The image's bytes as the flash should hold them after a good update.
  bool FlashHoldsImage();

private:
  SimulatedDeviceStack devices_;
  ChipSimulator &chip_;
  ImageRecord image_;
  FlashState flash_;
  std::unique_ptr<VantrelUsb> usb_;
  std::unique_ptr<ChipCommands> commands_;
  int attempts_ = 0;
  std::string reason_;
  std::string refusal_;
  bool flashChanged_ = false;
};

} // namespace orvane::sim
