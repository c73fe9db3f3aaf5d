#include "panels/DeviceActionGuard.h"
#include "program/ConnectionMonitor.h"
#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/DeviceLock.h"
#include "usb/DeviceTable.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvane {
namespace {

struct RecordingMonitorView final : MonitorView {
  void SetTimerInterval(int ms) override { interval = ms; }
  void SetDetectCaption(const std::string &text) override { detect = text; }
  void SetFileStatus(const std::string &text) override { fileStatus = text; }
  void SetProcessStatus(const std::string &text) override { processStatus = text; }
  void SetIndicator(IndicatorColour colour) override { indicator = colour; }
  void SetStartEnabled(bool enabled) override { startEnabled = enabled; }
  void ReadProgramFile1() override { ++lookups; }

  int interval = 1000;
  std::string detect = "No device is available";
  std::string fileStatus = "No Updated File !";
  std::string processStatus;
  std::optional<IndicatorColour> indicator;
  bool startEnabled = false;
  int lookups = 0;
};

// A device present with its normal firmware answers through the audio
// driver; in update mode it answers only through the generic driver.
UsbDeviceInfo ModelIdentity(int row) {
  const std::string match = DeviceTable[row].matchText;
  return test::Identity(0x3b5d, static_cast<uint16_t>(std::stoul(match.substr(13), nullptr, 16)), true);
}

class ConnectionMonitorTest : public ::testing::Test {
protected:
  ConnectionMonitorTest() { state.monitor.DetectEnabled = true; }

  // The target searched at each of the next n ticks.
  std::vector<std::string> Targets(int n) {
    std::vector<std::string> targets;
    for (int i = 0; i < n; ++i) {
      monitor.Tick();
      targets.push_back(state.usb.Target());
    }
    return targets;
  }

  SimulatedDeviceStack devices;
  ProgramState state{devices.bus, devices.clock};
  RecordingMonitorView view;
  ConnectionMonitor monitor{state, view};
};

TEST_F(ConnectionMonitorTest, RotatesTableRowsAndUpdateIdentitiesFromRowOne) {
  monitor.Tick();
  EXPECT_EQ(std::string(state.usb.Target()), "vid_3b5d&pid_f0b6");
  EXPECT_TRUE(state.usb.GetAudioDriver());
  EXPECT_EQ(view.interval, 1000);
  monitor.Tick();
  EXPECT_EQ(std::string(state.usb.Target()), "vid_3b5d&pid_6000");
  EXPECT_FALSE(state.usb.GetAudioDriver());
  EXPECT_EQ(view.interval, 100);
  const std::vector<std::string> expected = {
      "vid_3b5d&pid_f0b7", "vid_0c7e&pid_6000", "vid_3b5d&pid_f0b8", "vid_3b5d&pid_6000", "vid_3b5d&pid_f0b9",
      "vid_0c7e&pid_6000", "vid_3b5d&pid_f120", "vid_3b5d&pid_6000", "vid_3b5d&pid_f121", "vid_0c7e&pid_6000",
      "vid_3b5d&pid_f0b5", "vid_3b5d&pid_6000", "vid_3b5d&pid_f0b6", "vid_0c7e&pid_6000"};
  EXPECT_EQ(Targets(14), expected);
  EXPECT_EQ(view.detect, "No device is available");
  EXPECT_EQ(view.indicator, IndicatorColour::ButtonFace);
  EXPECT_FALSE(view.startEnabled);
}

TEST_F(ConnectionMonitorTest, FindsAModelWithinOneRotationAndFollowsItsUnplugging) {
  ScriptedDevice r62(ModelIdentity(3));
  devices.Plug("r62", r62);
  int ticks = 0;
  while (!state.usb.IsFound() && ticks < 16) {
    monitor.Tick();
    ++ticks;
  }
  ASSERT_TRUE(state.usb.IsFound());
  EXPECT_LE(ticks, 16);
  EXPECT_EQ(view.detect, "Find Device Orvane-R62");
  EXPECT_EQ(view.lookups, 1);

  // While present: a check each second, no second lookup once the file is in.
  state.image.UpdateFileLoaded = true;
  monitor.Tick();
  EXPECT_EQ(view.interval, 1000);
  EXPECT_EQ(view.lookups, 1);

  devices.Unplug("r62");
  monitor.Tick();
  EXPECT_FALSE(state.usb.IsFound());
  EXPECT_EQ(view.detect, "No device is available");
  EXPECT_FALSE(view.startEnabled);
  EXPECT_EQ(view.indicator, IndicatorColour::ButtonFace);
  monitor.Tick(); // searching again forgets the loaded file
  EXPECT_FALSE(state.image.UpdateFileLoaded);
  EXPECT_EQ(view.fileStatus, "No Updated File !");
}

TEST_F(ConnectionMonitorTest, UpdateModeDevicesAreNamedAnd3B5DLoadsRowZerosFileEveryTick) {
  ScriptedDevice blank(test::Identity(0x3b5d, 0x6000));
  devices.Plug("blank", blank);
  Targets(2);
  ASSERT_TRUE(state.usb.IsFound());
  EXPECT_EQ(view.detect, "Firmware update device 3B5D is exist");
  EXPECT_EQ(state.DeviceRow, 0);
  state.image.UpdateFileLoaded = true;
  Targets(2);
  EXPECT_EQ(view.lookups, 3);

  devices.Unplug("blank");
  ScriptedDevice other(test::Identity(0x0c7e, 0x6000));
  devices.Plug("other", other);
  for (int i = 0; i < 6 && (state.usb.IsFound() == false || view.detect.find("0C7E") == std::string::npos); ++i)
    monitor.Tick();
  EXPECT_EQ(view.detect, "Firmware update device 0C7E is exist");
  EXPECT_EQ(view.lookups, 3);
  devices.Unplug("other");
}

// A device action (an ISP page step sets no Busy) works on the image as it
// was when it started: the monitor looks the file up only after it.
TEST_F(ConnectionMonitorTest, NoFileIsLoadedWhileADeviceActionRuns) {
  ScriptedDevice blank(test::Identity(0x3b5d, 0x6000));
  devices.Plug("blank", blank);
  Targets(2);
  ASSERT_TRUE(state.usb.IsFound());
  const int before = view.lookups;
  {
    DeviceActionGuard action(state.monitor);
    Targets(3);
    EXPECT_EQ(view.lookups, before);
  }
  monitor.Tick();
  EXPECT_EQ(view.lookups, before + 1);
  devices.Unplug("blank");

  ScriptedDevice model(ModelIdentity(3));
  devices.Plug("model", model);
  DeviceActionGuard action(state.monitor);
  for (int i = 0; i < 16 && view.detect != "Find Device Orvane-R62"; ++i)
    monitor.Tick();
  ASSERT_EQ(view.detect, "Find Device Orvane-R62");
  EXPECT_EQ(view.lookups, before + 1) << "a model found during an action gets its file afterwards";
  EXPECT_FALSE(state.image.UpdateFileLoaded);
  devices.Unplug("model");
}

TEST_F(ConnectionMonitorTest, BusyTicksChangeNothingAndDoneTicksOnlyClose) {
  ScriptedDevice r62(ModelIdentity(3));
  devices.Plug("r62", r62);
  while (!state.usb.IsFound())
    monitor.Tick();
  state.monitor.Busy = true;
  devices.Unplug("r62");
  const RecordingMonitorView before = view;
  Targets(3);
  EXPECT_EQ(view.detect, before.detect);
  EXPECT_TRUE(state.usb.IsFound());

  state.monitor.Busy = false;
  state.monitor.UpdateDone = true;
  devices.Plug("r62", r62);
  ASSERT_TRUE(state.usb.Open());
  state.monitor.ActionRunning = true; // a page action keeps its handle
  monitor.Tick();
  EXPECT_TRUE(state.usb.HasHandle());
  state.monitor.ActionRunning = false;
  monitor.Tick();
  EXPECT_FALSE(state.usb.HasHandle());
  EXPECT_EQ(view.detect, before.detect);
  devices.Unplug("r62");
}

#ifndef _WIN32
// Start found the device held by another program: each tick tries the
// lock, and once the other has let go the message goes and Start is back.
TEST_F(ConnectionMonitorTest, WhileStartWaitsEachTickTriesTheDevicesLock) {
  const std::string locks = ::testing::TempDir() + "monitor-locks-" + std::to_string(::getpid());
  ASSERT_EQ(::mkdir(locks.c_str(), 0700), 0);
  state.usb.UseDeviceLocks(locks);
  ScriptedDevice r62(ModelIdentity(3));
  devices.Plug("r62", r62);
  while (!state.usb.IsFound())
    monitor.Tick();
  state.panelImage.UpdateFileLoaded = true;
  state.image.UpdateFileLoaded = true;
  {
    DeviceLock other;
    ASSERT_EQ(other.TryAcquire(locks, VantrelUsb::LockKey(state.usb.DevicePath())), DeviceLock::Outcome::Acquired);
    state.startWaitsForDevice = true;
    view.processStatus = "device busy: another update is running (pid 1)";
    view.startEnabled = false;
    monitor.Tick();
    monitor.Tick();
    EXPECT_TRUE(state.startWaitsForDevice);
    EXPECT_FALSE(view.startEnabled);
    EXPECT_EQ(view.processStatus, "device busy: another update is running (pid 1)");
  }
  monitor.Tick();
  EXPECT_FALSE(state.startWaitsForDevice);
  EXPECT_TRUE(view.startEnabled);
  EXPECT_EQ(view.processStatus, "");
  // The probe gave the lock back.
  DeviceLock after;
  EXPECT_EQ(after.TryAcquire(locks, VantrelUsb::LockKey(state.usb.DevicePath())), DeviceLock::Outcome::Acquired);
  after.Release();

  // A device that goes away ends the wait.
  state.startWaitsForDevice = true;
  devices.Unplug("r62");
  monitor.Tick();
  monitor.Tick();
  EXPECT_FALSE(state.startWaitsForDevice);
  EXPECT_FALSE(view.startEnabled);
  std::filesystem::remove_all(locks);
}
#endif

TEST_F(ConnectionMonitorTest, SwitchingDetectionOffGreysTheIndicatorAndForgetsTheDevice) {
  ScriptedDevice r62(ModelIdentity(3));
  devices.Plug("r62", r62);
  while (!state.usb.IsFound())
    monitor.Tick();
  monitor.SetDetect(false);
  EXPECT_EQ(view.indicator, IndicatorColour::Grey);
  EXPECT_FALSE(state.usb.IsFound());
  EXPECT_FALSE(state.monitor.DetectEnabled);
  devices.Unplug("r62");
}

} // namespace
} // namespace orvane
