#pragma once

#include "sim/ChipSimulator.h"
#include "testing/InProcessTransport.h"
#include "usb/Clock.h"
#include "usb/EmulatedDriverBus.h"

#include <memory>
#include <string>
#include <vector>

namespace orvane {

// The device side of a test or a measurement: devices served in this
// process behind the emulated drivers, and a virtual clock for the chips
// and the program to share. What the program builds on top (VantrelUsb,
// ProgramState) takes bus and clock. Every device plugged here is taken
// off the bus before the stack goes, so a chip never outlives its place.
class SimulatedDeviceStack {
public:
  explicit SimulatedDeviceStack(std::string transportName = "mem");
  ~SimulatedDeviceStack();
  SimulatedDeviceStack(const SimulatedDeviceStack &) = delete;
  SimulatedDeviceStack &operator=(const SimulatedDeviceStack &) = delete;

  // A simulated chip on the stack's clock, owned by the stack, plugged in
  // at location. The config chooses model, flash part and flash contents.
  sim::ChipSimulator &PlugChip(const std::string &location, sim::SimConfig config = {});
  // The same on a clock of the caller's (one that plugs devices in at a
  // moment, or keeps pace with real time).
  sim::ChipSimulator &PlugChip(const std::string &location, sim::SimConfig config, Clock &deviceClock);
  // A device owned by the caller: it must outlive the stack or be
  // unplugged before it goes.
  void Plug(const std::string &location, VirtualDevice &device);
  void Unplug(const std::string &location);
  void UnplugAll();

  const std::vector<RecordedTransfer> &Transfers() const { return transport.Transfers(); }

  VirtualClock clock;
  InProcessTransport transport;
  EmulatedDriverBus bus;

private:
  std::vector<std::string> plugged_;
  std::vector<std::unique_ptr<sim::ChipSimulator>> chips_;
};

} // namespace orvane
