#include "bench/MonitorBench.h"

#include "program/ConnectionMonitor.h"
#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace orvane::bench {

namespace {

class QuietMonitorView final : public MonitorView {
public:
  void SetTimerInterval(int) override {}
  void SetDetectCaption(const std::string &) override {}
  void SetFileStatus(const std::string &) override {}
  void SetProcessStatus(const std::string &) override {}
  void SetIndicator(IndicatorColour) override {}
  void SetStartEnabled(bool) override {}
  void ReadProgramFile1() override {}
};

// Devices on one in-process transport behind the emulated drivers, and the
// program state and monitor that watch them.
class MonitorScene {
public:
  MonitorScene(int devices, uint16_t vendorId, uint16_t productId) {
    for (int i = 0; i < devices; ++i) {
      UsbDeviceInfo identity;
      identity.vendorId = vendorId;
      identity.productId = static_cast<uint16_t>(productId + (productId == 0x6000 ? 0 : i));
      identity.hasAudioInterface = i % 2 == 0;
      devices_.push_back(std::make_unique<ScriptedDevice>(identity));
      stack_.Plug("port" + std::to_string(i), *devices_.back());
    }
    state_.monitor.DetectEnabled = true;
  }

  MonitorFigures Time(const std::string &scenario, int ticks, const std::function<void()> &beforeTick) {
    MonitorFigures figures;
    figures.scenario = scenario;
    figures.devices = static_cast<int>(devices_.size());
    figures.ticks = std::max(ticks, 1);
    uint64_t total = 0;
    for (int tick = 0; tick < figures.ticks; ++tick) {
      beforeTick();
      const auto start = std::chrono::steady_clock::now();
      monitor_.Tick();
      const auto spent = static_cast<uint64_t>((std::chrono::steady_clock::now() - start).count());
      total += spent;
      figures.longestNs = std::max(figures.longestNs, spent);
    }
    figures.meanNs = total / static_cast<uint64_t>(figures.ticks);
    return figures;
  }

  ProgramState &State() { return state_; }

private:
  std::vector<std::unique_ptr<ScriptedDevice>> devices_;
  SimulatedDeviceStack stack_;
  ProgramState state_{stack_.bus, stack_.clock};
  QuietMonitorView view_;
  ConnectionMonitor monitor_{state_, view_};
};

constexpr uint16_t kOtherVendor = 0x1D6B;
constexpr uint16_t kUpdateVendor = 0x3B5D;
constexpr uint16_t kUpdateProduct = 0x6000;

} // namespace

MonitorFigures TimeMonitorSearch(int devices, int ticks) {
  MonitorScene scene(devices, kOtherVendor, 0x0100);
  return scene.Time("search", ticks, [] {});
}

MonitorFigures TimeMonitorFind(int devices, int ticks) {
  MonitorScene scene(devices, kUpdateVendor, kUpdateProduct);
  VantrelUsb &usb = scene.State().usb;
  return scene.Time("find", ticks, [&] {
    // Each tick a search that ends on the update-mode identity.
    usb.ClearFound();
    usb.SetAudioDriver(true);
    scene.State().monitor.UpdateId3B5D = false;
  });
}

MonitorFigures TimeMonitorPresent(int devices, int ticks) {
  MonitorScene scene(devices, kUpdateVendor, kUpdateProduct);
  VantrelUsb &usb = scene.State().usb;
  usb.SetTarget(kUpdateMatch3B5D);
  usb.FindDevice(); // the figures measure the search, whatever it finds
  return scene.Time("present", ticks, [] {});
}

} // namespace orvane::bench
