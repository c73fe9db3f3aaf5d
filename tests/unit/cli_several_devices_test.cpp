// Several devices on one machine: --device picks one, a second device is
// never chosen silently, --all updates them all at once on threads.

#include "cli/AttachedDevices.h"
#include "cli/JsonMultiReporter.h"
#include "cli/JsonUpdateReporter.h"
#include "cli/ProgressBoard.h"
#include "cli/UpdateAll.h"
#include "cli_json_reader.h"
#include "image_test_files.h"
#include "isp/OneButtonUpdate.h"
#include "plug_clock.h"
#include "sim/ChipSimulator.h"
#include "sim/SimConfig.h"
#include "testing/FlashChecks.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/DeviceLock.h"
#include "usb/InterfacePathPlace.h"
#include "usb/VantrelUsb.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>

namespace orvane {
namespace {

using cli_test::JsonValue;
using cli_test::ParseJsonLines;
using image_test::RandomBytes;
using image_test::ReadFile;
using image_test::TempDirectory;
using image_test::WriteFile;

sim::SimConfig Model(const char *model, const std::string &serial) {
  sim::SimConfig config = sim::SampleFirmwareConfig(*sim::FindSimModel(model));
  config.serial = serial;
  return config;
}

// A simulated device with a clock of its own, so that its update can run on
// a thread of its own.
struct SimDevice {
  SimDevice(std::string name, const sim::SimConfig &config, Clock *shared)
      : name(std::move(name)), chip(shared ? *shared : own, config) {}
  std::string name;
  VirtualClock own;
  sim::ChipSimulator chip;
};

// One device's own transport and driver on its device's clock.
class InProcessStack final : public DeviceStack {
public:
  explicit InProcessStack(SimDevice &device) : device_(device) { stack_.Plug(device.name, device.chip); }
  DeviceBus &Bus() override { return stack_.bus; }
  Clock &Time() override { return device_.own; }

private:
  SimDevice &device_;
  SimulatedDeviceStack stack_;
};

class SeveralDevicesTest : public ::testing::Test {
protected:
  // shared: on the test's clock, for the single-device command; else on its own, for --all.
  sim::ChipSimulator &Plug(const std::string &name, const sim::SimConfig &config, bool shared = false) {
    devices.push_back(std::make_unique<SimDevice>(name, config, shared ? &clock : nullptr));
    stack.Plug(name, devices.back()->chip);
    return devices.back()->chip;
  }

  int Run(const std::vector<std::string> &args) {
    std::string error;
    const auto options = ParseUpdateCommandOptions(args, &error);
    EXPECT_TRUE(options) << error;
    JsonUpdateReporter reporter(out, err);
    UpdateCommandContext context{stack.bus, clock, dir.path().string(), reporter, {}, {}, lockDirectory(), {}};
    return RunUpdateCommand(*options, context);
  }

  int RunAll(const std::vector<std::string> &args) {
    std::string error;
    const auto options = ParseUpdateCommandOptions(args, &error);
    EXPECT_TRUE(options) << error;
    EXPECT_TRUE(options && options->all);
    JsonMultiReporter reporter(out, err);
    UpdateAllContext context{stack.bus,
                             clock,
                             dir.path().string(),
                             reporter,
                             {},
                             [this](bool critical, uint64_t forAtMostMs) {
                               criticals.push_back(critical);
                               holdLimitsMs.push_back(forAtMostMs);
                             },
                             lockDirectory(),
                             [this](const std::string &location) -> std::unique_ptr<DeviceStack> {
                               for (auto &device : devices)
                                 if (device->name == location)
                                   return std::make_unique<InProcessStack>(*device);
                               ADD_FAILURE() << "no stack for " << location;
                               return nullptr;
                             },
                             {}};
    return RunUpdateAll(*options, context);
  }

  std::vector<JsonValue> Events(const std::string &kind) const {
    std::vector<JsonValue> matching;
    for (const auto &line : ParseJsonLines(out.str())) {
      EXPECT_TRUE(line) << out.str();
      if (line && (*line)["event"].text == kind)
        matching.push_back(*line);
    }
    return matching;
  }

  // The outcome the summary gives each location.
  std::map<std::string, std::string> Outcomes() const {
    std::map<std::string, std::string> outcomes;
    for (const JsonValue &line : Events("summary"))
      if (line.Has("location"))
        outcomes[line["location"].text] = line["outcome"].text;
    return outcomes;
  }

  test::PlugClock clock;
  SimulatedDeviceStack stack;
  TempDirectory dir;
  std::vector<std::unique_ptr<SimDevice>> devices;
  std::string lockDirectory() const { return dir.path().string(); }

  // The name of a device's lock, as the updater takes it.
  std::string LockKeyOf(const std::string &location) {
    for (const Guid &kind : {kGuidAudioDriver, kGuidUsbDevice})
      for (const std::string &path : stack.bus.ListInterfaces(kind).value_or(std::vector<std::string>{}))
        if (const auto place = stack.bus.PlaceOf(path); place && place->location == location)
          return VantrelUsb::LockKey(path);
    ADD_FAILURE() << "no interface at " << location;
    return location;
  }

  std::vector<bool> criticals;
  std::vector<uint64_t> holdLimitsMs;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(SeveralDevicesTest, DevicePicksOneByLocationOrSerialNumberAndLeavesTheOtherAlone) {
  sim::ChipSimulator &left = Plug("port-1", Model("Orvane-R62", "SER-A"), true);
  sim::ChipSimulator &right = Plug("port-2", Model("Orvane-R62", "SER-B"), true);
  const auto leftFirmware = left.Flash().Contents();
  const auto image = RandomBytes(4000, 1);
  WriteFile(dir.File("Orvane_R62.bin"), image);

  EXPECT_EQ(Run({"--yes", "--device", "port-2"}), kExitSuccess) << err.str();
  EXPECT_TRUE(HoldsOnlyImage(right, image));
  EXPECT_EQ(IspTransferCount(left), 0u);
  EXPECT_EQ(left.Flash().Contents(), leftFirmware);
  const auto found = Events("device_found");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]["location"].text, "port-2");
  EXPECT_EQ(found[0]["serial"].text, "SER-B");

  EXPECT_EQ(Run({"--yes", "--device=SER-A"}), kExitSuccess) << err.str();
  EXPECT_TRUE(HoldsOnlyImage(left, image));

  const std::string readBack = dir.File("read.txt");
  const uint64_t rightIsp = IspTransferCount(right);
  EXPECT_EQ(Run({"--read-back", readBack, "--device", "port-1"}), kExitSuccess) << err.str();
  EXPECT_FALSE(ReadFile(readBack).empty());
  EXPECT_EQ(IspTransferCount(right), rightIsp);

  out.str("");
  EXPECT_EQ(Run({"--yes", "--device", "port-9"}), kExitNothingDone);
  const auto errors = Events("error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0]["kind"].text, "no_device");
  EXPECT_NE(errors[0]["message"].text.find("with serial number port-9"), std::string::npos);
}

TEST_F(SeveralDevicesTest, WaitWithDeviceWaitsForThatDeviceAndNotAnother) {
  sim::ChipSimulator &other = Plug("port-1", Model("Orvane-R62", "A"), true);
  const auto image = RandomBytes(2000, 8);
  WriteFile(dir.File("Orvane_R62.bin"), image);
  sim::ChipSimulator *later = nullptr;
  clock.At(3'000'000, [&] { later = &Plug("port-2", Model("Orvane-R62", "B"), true); });

  EXPECT_EQ(Run({"--yes", "--device", "port-2", "--wait", "10"}), kExitSuccess) << out.str();
  ASSERT_NE(later, nullptr);
  EXPECT_TRUE(HoldsOnlyImage(*later, image));
  EXPECT_EQ(IspTransferCount(other), 0u);
  EXPECT_GE(clock.NowUs(), 3'000'000u);
}

TEST_F(SeveralDevicesTest, WithSeveralAttachedAndNoDeviceNothingIsChosenAndTheyAreListed) {
  sim::ChipSimulator &left = Plug("port-1", Model("Orvane-R62", "SAME"), true);
  sim::ChipSimulator &right = Plug("port-2", Model("Orvane MR810", "SAME"), true);
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(1000, 2));
  WriteFile(dir.File("Orvane MR810.bin"), RandomBytes(1000, 3));

  for (const auto &args : {std::vector<std::string>{"--yes"}, std::vector<std::string>{"--read-back", "x.txt"},
                           std::vector<std::string>{"--yes", "--device", "SAME"}}) {
    out.str("");
    EXPECT_EQ(Run(args), kExitNothingDone);
    const auto errors = Events("error");
    ASSERT_EQ(errors.size(), 1u) << out.str();
    EXPECT_EQ(errors[0]["kind"].text, "several_devices");
    const std::string &message = errors[0]["message"].text;
    EXPECT_NE(message.find("2 supported devices"), std::string::npos) << message;
    EXPECT_NE(message.find("\n  port-1  Find Device Orvane-R62 (serial SAME)"), std::string::npos) << message;
    EXPECT_NE(message.find("\n  port-2  Find Device Orvane MR810 (serial SAME)"), std::string::npos) << message;
    EXPECT_TRUE(Events("verdict").empty());
  }
  EXPECT_EQ(IspTransferCount(left), 0u);
  EXPECT_EQ(IspTransferCount(right), 0u);
}

TEST_F(SeveralDevicesTest, TheDeviceLineSaysWhenMoreThanOneDeviceIsAttached) {
  Plug("port-1", Model("Orvane-R62", "A"), true);
  ProgramState state(stack.bus, clock);
  EXPECT_EQ(SearchAttachedDevice(state, 0).device.caption, "Find Device Orvane-R62");
  Plug("port-2", Model("Orvane-R62", "B"), true);
  ProgramState again(stack.bus, clock);
  EXPECT_EQ(SearchAttachedDevice(again, 0).device.caption,
            "Find Device Orvane-R62 (one of 2 supported devices attached)");
}

TEST_F(SeveralDevicesTest, AllUpdatesEveryDeviceAtOnceEachWithItsOwnModelsFile) {
  sim::ChipSimulator &a = Plug("port-1", Model("Orvane-R62", "A"));
  sim::ChipSimulator &b = Plug("port-2", Model("Orvane-R62", "B"));
  sim::ChipSimulator &c = Plug("port-3", Model("Orvane MR810", "C"));
  const auto r62 = RandomBytes(20000, 4);
  const auto mr810 = RandomBytes(12000, 5);
  WriteFile(dir.File("Orvane_R62.bin"), r62);
  WriteFile(dir.File("Orvane MR810.bin"), mr810);

  EXPECT_EQ(RunAll({"--all", "--yes"}), kExitSuccess) << err.str();
  EXPECT_TRUE(HoldsOnlyImage(a, r62));
  EXPECT_TRUE(HoldsOnlyImage(b, r62));
  EXPECT_TRUE(HoldsOnlyImage(c, mr810));
  // Each device had a lock of its own, and every one is free again.
  std::set<std::string> keys;
  for (const char *place : {"port-1", "port-2", "port-3"}) {
    const std::string key = LockKeyOf(place);
    keys.insert(key);
    EXPECT_TRUE(std::filesystem::exists(dir.File(DeviceLock::FileName(key)))) << place;
    DeviceLock free;
    EXPECT_EQ(free.TryAcquire(lockDirectory(), key), DeviceLock::Outcome::Acquired) << place;
  }
  EXPECT_EQ(keys.size(), 3u);
  EXPECT_EQ(Outcomes(),
            (std::map<std::string, std::string>{{"port-1", "success"}, {"port-2", "success"}, {"port-3", "success"}}));
  // Every event of a device names it.
  for (const char *kind : {"device_found", "file_loaded", "step", "progress", "verdict"}) {
    const auto events = Events(kind);
    EXPECT_FALSE(events.empty()) << kind;
    for (const JsonValue &event : events)
      EXPECT_TRUE(event["location"].text.starts_with("port-")) << kind;
  }
  const auto totals = Events("summary").back();
  EXPECT_EQ(totals["devices"].number, 3);
  EXPECT_EQ(totals["succeeded"].number, 3);
  // Interruptions are held off while any device is being written, and let
  // through only once none is; a hold renewed for a later device never
  // shortens an earlier one's.
  ASSERT_FALSE(criticals.empty());
  EXPECT_TRUE(criticals.front());
  EXPECT_FALSE(criticals.back());
  for (size_t i = 1; i < criticals.size(); ++i) {
    EXPECT_TRUE(criticals[i] || criticals[i - 1]) << "let through twice, " << i;
    if (criticals[i] && criticals[i - 1]) {
      EXPECT_GT(holdLimitsMs[i], holdLimitsMs[i - 1]) << i;
    }
    if (criticals[i]) {
      EXPECT_GT(holdLimitsMs[i], 0u) << i;
    }
  }
}

TEST_F(SeveralDevicesTest, AnUnpluggedDeviceFailsAloneAndTheOthersSucceed) {
  sim::ChipSimulator &a = Plug("port-1", Model("Orvane-R62", "A"));
  sim::ChipSimulator &b = Plug("port-2", Model("Orvane-R62", "B"));
  sim::ChipSimulator &c = Plug("port-3", Model("Orvane-R62", "C"));
  const auto image = RandomBytes(30000, 6);
  WriteFile(dir.File("Orvane_R62.bin"), image);
  b.UnplugAfter(400);

  EXPECT_EQ(RunAll({"--all", "--yes", "--json"}), kExitFailed);
  EXPECT_TRUE(HoldsOnlyImage(a, image));
  EXPECT_TRUE(HoldsOnlyImage(c, image));
  EXPECT_EQ(Outcomes(),
            (std::map<std::string, std::string>{{"port-1", "success"}, {"port-2", "failed"}, {"port-3", "success"}}));
  for (const JsonValue &verdict : Events("verdict"))
    EXPECT_EQ(verdict["success"].flag, verdict["location"].text != "port-2");
}

TEST_F(SeveralDevicesTest, ABusyOrFilelessDeviceIsLeftAloneAndOnlyNothingAtAllIsExitTwo) {
  sim::ChipSimulator &a = Plug("port-1", Model("Orvane-R62", "A"));
  sim::ChipSimulator &b = Plug("port-2", Model("Orvane-R62", "B"));
  const auto bFirmware = b.Flash().Contents();
  const auto image = RandomBytes(3000, 7);
  WriteFile(dir.File("Orvane_R62.bin"), image);
  // Another updater holds port-2.
  DeviceLock other;
  ASSERT_EQ(other.TryAcquire(lockDirectory(), LockKeyOf("port-2")), DeviceLock::Outcome::Acquired);
  const std::string busy = "device busy: another update is running (pid " + std::to_string(::getpid()) + ")";

  EXPECT_EQ(RunAll({"--all", "--yes"}), kExitFailed) << "one updated, one left alone: not all succeeded";
  EXPECT_TRUE(HoldsOnlyImage(a, image));
  EXPECT_EQ(IspTransferCount(b), 0u);
  EXPECT_EQ(b.Flash().Contents(), bFirmware);
  EXPECT_EQ(Outcomes(), (std::map<std::string, std::string>{{"port-1", "success"}, {"port-2", "nothing_done"}}));
  bool busyTold = false;
  for (const JsonValue &error : Events("error"))
    busyTold = busyTold || (error["kind"].text == "device_busy" && error["location"].text == "port-2" &&
                            error["message"].text == busy);
  EXPECT_TRUE(busyTold) << out.str();

  out.str("");
  EXPECT_EQ(Run({"--yes", "--device", "port-2"}), kExitNothingDone);
  EXPECT_EQ(Events("error").at(0)["kind"].text, "device_busy");

  out.str("");
  std::filesystem::remove(dir.File("Orvane_R62.bin"));
  other.Release();
  EXPECT_EQ(RunAll({"--all", "--yes"}), kExitNothingDone);
  EXPECT_EQ(Outcomes(), (std::map<std::string, std::string>{{"port-1", "nothing_done"}, {"port-2", "nothing_done"}}));

  out.str("");
  stack.Unplug("port-1");
  stack.Unplug("port-2");
  EXPECT_EQ(RunAll({"--all", "--yes"}), kExitNothingDone);
  EXPECT_EQ(Events("error").at(0)["kind"].text, "no_device");
}

FoundDevice BoardDevice(const std::string &location) {
  FoundDevice device;
  device.caption = "Find Device Orvane-R62";
  device.model = "Orvane-R62";
  device.location = location;
  return device;
}

WalkProgress Walk(FlashPhase phase, int percent) {
  WalkProgress progress;
  progress.phase = phase;
  progress.done = static_cast<uint32_t>(percent);
  progress.total = 100;
  progress.percent = percent;
  return progress;
}

TEST(ProgressBoardTest, OnATerminalEachDeviceHasOneLineRedrawnInPlace) {
  std::ostringstream out;
  std::ostringstream err;
  ProgressBoard board(out, err, true);
  auto first = board.ForDevice(BoardDevice("1-4.1"));
  auto second = board.ForDevice(BoardDevice("1-4.2"));
  EXPECT_EQ(out.str(), "\r\x1b[KOrvane-R62          1-4.1         waiting\n\r"
                       "\r\x1b[1A\x1b[1B\r\x1b[KOrvane-R62          1-4.2         waiting\n\r");
  out.str("");
  second->Progress(Walk(FlashPhase::Program, 42));
  EXPECT_EQ(out.str(), "\r\x1b[2A\x1b[1B\r\x1b[KOrvane-R62          1-4.2         Program 42%\n\r");
  out.str("");
  second->Progress(Walk(FlashPhase::Program, 42));
  EXPECT_EQ(out.str(), "") << "nothing changed, nothing drawn";
  first->Problem(ProblemKind::DeviceBusy, "device busy: another update is running (pid 7)");
  second->Verdict(true, "Firmware update success!", 1, "", true);
  out.str("");
  board.Summary({{BoardDevice("1-4.1"), kExitNothingDone}, {BoardDevice("1-4.2"), kExitSuccess}});
  EXPECT_EQ(out.str(),
            "Summary: 2 devices, 1 updated, 0 failed, 1 left alone\n"
            "  1-4.1         Orvane-R62          left alone: device busy: another update is running (pid 7)\n"
            "  1-4.2         Orvane-R62          updated: Firmware update success!\n");
  EXPECT_EQ(err.str(), "") << "a device's problem stays in its line on a terminal";
}

TEST(ProgressBoardTest, WithoutATerminalEachChangeIsALineLedByTheDevice) {
  std::ostringstream out;
  std::ostringstream err;
  ProgressBoard board(out, err, false);
  auto device = board.ForDevice(BoardDevice("bench-1"));
  device->Step("Start Programming");
  for (int percent = 0; percent <= 100; ++percent)
    device->Progress(Walk(FlashPhase::Program, percent));
  device->Problem(ProblemKind::NoUpdateFile, "No Updated File !");
  std::string expected = "Orvane-R62          bench-1       waiting\n"
                         "Orvane-R62          bench-1       Start Programming\n"
                         "Orvane-R62          bench-1       Program 0%\n";
  for (int tenth = 1; tenth <= 10; ++tenth)
    expected += "Orvane-R62          bench-1       Program " + std::to_string(tenth * 10) + "%\n";
  expected += "Orvane-R62          bench-1       No Updated File !\n";
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(err.str(), "orvane-update: bench-1: No Updated File !\n");
}

TEST(InterfacePathPlaceTest, TheInstanceOfAWindowsPathIsItsLocation) {
  const auto place =
      PlaceInInterfacePath(R"(\\?\usb#vid_3b5d&pid_f0b8#5&2f3a1b&0&3#{a5dcbf10-6530-11d2-901f-00c04fb951ed})");
  ASSERT_TRUE(place);
  EXPECT_EQ(place->location, "5&2f3a1b&0&3");
  EXPECT_EQ(place->serial, "");
  EXPECT_FALSE(PlaceInInterfacePath(R"(\\?\usb#vid_3b5d&pid_f0b8##{guid})"));
  EXPECT_FALSE(PlaceInInterfacePath("no-hash-at-all"));
}

TEST(SeveralDevicesOptions, AllAndDeviceTakeTheirPlaceAmongTheOtherOptions) {
  std::string error;
  const auto all = ParseUpdateCommandOptions({"--all", "--yes", "--wait", "5"}, &error);
  ASSERT_TRUE(all) << error;
  EXPECT_TRUE(all->all);
  EXPECT_EQ(all->waitSeconds, 5u);
  const auto device = ParseUpdateCommandOptions({"--device", "1-4.2", "--read-back", "f.txt"}, &error);
  ASSERT_TRUE(device) << error;
  EXPECT_EQ(device->device, "1-4.2");
  EXPECT_EQ(device->action, UpdateCommandOptions::Action::ReadBack);
  for (const auto &[args, why] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--all", "--device", "x"}, "--all updates every device; it cannot be combined with --device"},
           {{"--all", "--list"}, "--all updates every device; it cannot be combined with --list"},
           {{"--all", "--read-back", "f"}, "--all updates every device; it cannot be combined with --read-back"},
           {{"--device"}, "option --device needs a value"},
           {{"--all=1"}, "option --all takes no value"}}) {
    EXPECT_FALSE(ParseUpdateCommandOptions(args, &error));
    EXPECT_EQ(error, why);
  }
}

} // namespace
} // namespace orvane
