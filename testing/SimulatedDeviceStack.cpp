#include "testing/SimulatedDeviceStack.h"

#include <algorithm>

namespace orvane {

SimulatedDeviceStack::SimulatedDeviceStack(std::string transportName) : transport(std::move(transportName)) {
  bus.AddTransport(transport);
}

SimulatedDeviceStack::~SimulatedDeviceStack() {
  UnplugAll();
}

sim::ChipSimulator &SimulatedDeviceStack::PlugChip(const std::string &location, sim::SimConfig config) {
  return PlugChip(location, std::move(config), clock);
}

sim::ChipSimulator &SimulatedDeviceStack::PlugChip(const std::string &location, sim::SimConfig config,
                                                   Clock &deviceClock) {
  chips_.push_back(std::make_unique<sim::ChipSimulator>(deviceClock, std::move(config)));
  Plug(location, *chips_.back());
  return *chips_.back();
}

void SimulatedDeviceStack::Plug(const std::string &location, VirtualDevice &device) {
  transport.Attach(location, device);
  if (std::find(plugged_.begin(), plugged_.end(), location) == plugged_.end())
    plugged_.push_back(location);
}

void SimulatedDeviceStack::Unplug(const std::string &location) {
  transport.Detach(location);
  std::erase(plugged_, location);
}

void SimulatedDeviceStack::UnplugAll() {
  for (const std::string &location : plugged_)
    transport.Detach(location);
  plugged_.clear();
}

} // namespace orvane
