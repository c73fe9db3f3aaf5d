#include "../unit/image_test_files.h"
#include "emulated_usb_bus.h"

#include "cli/AttachedDevices.h"
#include "cli/UpdateCommand.h"
#include "isp/FlashReadBack.h"
#include "panels/RegisterPanel.h"
#include "program/ProgramState.h"
#include "sim/ChipSimulator.h"
#include "sim/SampleFirmware.h"
#include "testing/FlashChecks.h"
#include "usb/ChipCommands.h"
#include "usb/DeviceLock.h"
#include "usb/EmulatedDriverBus.h"
#include "usb/LibusbTransport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>

namespace orvane::libusb_test {
namespace {

using image_test::ReadFile;
using image_test::TempDirectory;
using image_test::WriteFile;
using std::chrono::seconds;
using std::chrono::steady_clock;

constexpr unsigned kTimeoutMs = 200;
constexpr size_t kImageBytes = 0x4000;
const char *const kAudioClassGuid = "{50894fa4-9206-4a91-8728-cf6f268f271d}";
const char *const kUsbDeviceGuid = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

std::string InterfacePath(const std::string &ids, const std::string &location, const char *guid) {
  return "\\\\?\\usb#" + ids + "#usb." + location + "#" + guid;
}

class RecordingReporter final : public UpdateReporter {
public:
  void DeviceFound(const FoundDevice &device) override { found.push_back(device); }
  void FileLoaded(const LoadedFile &) override {}
  void Step(const std::string &text) override {
    steps.push_back(text);
    if (onStep)
      onStep(text);
  }
  void Progress(const WalkProgress &) override {}
  void AttemptFailed(int, int, const std::string &) override { ++failedAttempts; }
  void Cancelled(const std::string &) override {}
  void Verdict(bool success, const std::string &text, int, const std::string &why, bool) override {
    verdicts.emplace_back(success, text);
    reason = why;
  }
  void DeviceListed(const ListedDevice &device) override { listed.push_back(device); }
  void ReadBackWritten(const std::string &, bool consistent, uint32_t) override { readBackConsistent = consistent; }
  void Problem(ProblemKind kind, const std::string &message) override { problems.emplace_back(kind, message); }

  std::vector<FoundDevice> found;
  std::vector<std::string> steps;
  std::function<void(const std::string &)> onStep;
  int failedAttempts = 0;
  std::vector<std::pair<bool, std::string>> verdicts;
  std::string reason;
  std::vector<ListedDevice> listed;
  bool readBackConsistent = false;
  std::vector<std::pair<ProblemKind, std::string>> problems;
};

// Firmware of another model, so an update visibly replaces it.
std::vector<uint8_t> OldFirmware() {
  return sim::GenerateSampleFirmware(*sim::FindSimModel("f0b6"), kImageBytes);
}

// The program's objects, as the command-line updater and the window use
// them, over the libusb transport on an emulated bus.
class LibusbProgramTest : public ::testing::Test {
protected:
  LibusbProgramTest() { drivers.AddTransport(transport); }

  sim::ChipSimulator &Chip(const sim::SimConfig &config) {
    chips.push_back(std::make_unique<sim::ChipSimulator>(time, config));
    return *chips.back();
  }

  std::vector<uint8_t> WriteUpdateFile() {
    const auto image = sim::GenerateSampleFirmware(sim::DefaultSimModel(), kImageBytes);
    WriteFile(dir.File(sim::SampleFirmwareFileName(sim::DefaultSimModel(), ".bin")), image);
    return image;
  }

  int Run(const std::vector<std::string> &args, const std::string &lockDirectory = {}) {
    std::string error;
    const auto options = ParseUpdateCommandOptions(args, &error);
    EXPECT_TRUE(options) << error;
    UpdateCommandContext context{drivers, clock, dir.path().string(), reporter, {}, {}, lockDirectory, {}};
    return options ? RunUpdateCommand(*options, context) : -1;
  }

  DeviceSearchResult Search(uint32_t waitSeconds = 0) {
    ProgramState state(drivers, clock);
    return SearchAttachedDevice(state, waitSeconds);
  }

  VirtualClock time;
  EmulatedUsbBus bus; // before the transport's libusb context
  KernelPacedClock clock{time, bus};
  std::vector<std::unique_ptr<sim::ChipSimulator>> chips;
  LibusbTransport transport{kTimeoutMs};
  EmulatedDriverBus drivers;
  TempDirectory dir;
  RecordingReporter reporter;
};

TEST_F(LibusbProgramTest, EveryDeviceIsListedUnderItsLibusbLocationThroughItsDriver) {
  bus.AddHub("1-1");
  bus.Plug("1-1.3", Chip(sim::FirmwareConfig(OldFirmware())));
  bus.Plug("1-2", Chip(sim::UpdateModeConfig(0x3b5d)));
  bus.Plug("1-1.4", Chip(sim::UpdateModeConfig(0x0c7e)));

  const auto listed = ListAttachedDevices(drivers, clock, dir.path().string(), 0);
  std::map<std::string, ListedDevice> byPath;
  for (const ListedDevice &device : listed) {
    EXPECT_TRUE(device.openable) << device.device.path << ": " << device.openError;
    byPath[device.device.path] = device;
  }
  ASSERT_EQ(listed.size(), 3u);
  const auto &model = byPath[InterfacePath("vid_3b5d&pid_f0b8", "1-1.3", kAudioClassGuid)];
  EXPECT_EQ(model.device.caption, "Find Device Orvane-R62");
  EXPECT_TRUE(model.device.audioDriver);
  EXPECT_EQ(byPath[InterfacePath("vid_3b5d&pid_6000", "1-2", kUsbDeviceGuid)].device.caption,
            "Firmware update device 3B5D is exist");
  EXPECT_EQ(byPath[InterfacePath("vid_0c7e&pid_6000", "1-1.4", kUsbDeviceGuid)].device.caption,
            "Firmware update device 0C7E is exist");
}

struct Identity {
  sim::SimConfig config;
  const char *port;
  const char *caption;
  std::string path;
};

TEST_F(LibusbProgramTest, TheMonitorFindsTheModelAndEachUpdateModeIdentityAlone) {
  const Identity identities[] = {
      {sim::FirmwareConfig(OldFirmware()), "1-3", "Find Device Orvane-R62",
       InterfacePath("vid_3b5d&pid_f0b8", "1-3", kAudioClassGuid)},
      {sim::UpdateModeConfig(0x3b5d), "1-4", "Firmware update device 3B5D is exist",
       InterfacePath("vid_3b5d&pid_6000", "1-4", kUsbDeviceGuid)},
      {sim::UpdateModeConfig(0x0c7e), "1-5", "Firmware update device 0C7E is exist",
       InterfacePath("vid_0c7e&pid_6000", "1-5", kUsbDeviceGuid)},
  };
  for (const Identity &identity : identities) {
    SCOPED_TRACE(identity.caption);
    sim::ChipSimulator &chip = Chip(identity.config);
    bus.Plug(identity.port, chip);
    const DeviceSearchResult result = Search();
    ASSERT_TRUE(result.found);
    EXPECT_EQ(result.device.caption, identity.caption);
    EXPECT_EQ(result.device.path, identity.path);
    chip.Unplug();
    bus.Sync();
    EXPECT_FALSE(Search().found);
  }
}

TEST_F(LibusbProgramTest, TheOneButtonUpdateWritesTheModelsUpdateFileAndTheModelComesBackUnderANewAddress) {
  sim::ChipSimulator &chip = Chip(sim::FirmwareConfig(OldFirmware()));
  bus.AddHub("1-1");
  bus.Plug("1-1.3", chip);
  const unsigned before = bus.Address("1-1.3");
  const auto image = WriteUpdateFile();

  EXPECT_EQ(Run({"--yes"}), kExitSuccess);
  ASSERT_EQ(reporter.found.size(), 1u);
  EXPECT_EQ(reporter.found[0].path, InterfacePath("vid_3b5d&pid_f0b8", "1-1.3", kAudioClassGuid));
  EXPECT_EQ(reporter.verdicts, (std::vector<std::pair<bool, std::string>>{{true, "Firmware update success!"}}));
  EXPECT_TRUE(HoldsOnlyImage(chip, image));
  EXPECT_FALSE(chip.InIspMode());
  // Every transfer went through the audio driver as a vendor request to the chip.
  for (const SetupPacket &setup : bus.Node("1-1.3").Wire())
    EXPECT_TRUE(setup.requestType == 0xC3 || setup.requestType == 0x43 || setup.requestType == 0x80)
        << int{setup.requestType};

  bus.Sync();
  EXPECT_NE(bus.Address("1-1.3"), before) << "the chip restarted from the new firmware";
  const DeviceSearchResult again = Search();
  EXPECT_TRUE(again.found);
  EXPECT_EQ(again.device.caption, "Find Device Orvane-R62");
}

// A USB device is locked on its own node, which every program and user
// that may open it can lock: nothing is made in the folder for devices
// without one, and a device that is gone cannot be locked.
TEST_F(LibusbProgramTest, AUsbDeviceIsLockedOnItsNodeNotByNameInTheLockFolder) {
  sim::ChipSimulator &chip = Chip(sim::FirmwareConfig(OldFirmware()));
  bus.Plug("1-3", chip);
  const auto image = WriteUpdateFile();
  const std::string locks = dir.File("locks");
  std::filesystem::create_directory(locks);

  EXPECT_EQ(Run({"--yes"}, locks), kExitSuccess);
  EXPECT_TRUE(HoldsOnlyImage(chip, image));
  EXPECT_TRUE(std::filesystem::is_empty(locks));

  DeviceLock lock;
  DeviceError error;
  EXPECT_EQ(transport.LockDevice("1-3", lock, &error), DeviceLock::Outcome::Acquired) << error.text;
  EXPECT_TRUE(lock.Held());
  lock.Release();
  EXPECT_EQ(transport.LockDevice("1-9", lock, &error), DeviceLock::Outcome::Unreachable);
  EXPECT_EQ(error, (DeviceError{DeviceErrorKind::Gone, "USB device 1-9 is gone"}));
  EXPECT_FALSE(lock.Held());
}

class LibusbUpdateModeTest : public LibusbProgramTest, public ::testing::WithParamInterface<uint16_t> {};

TEST_P(LibusbUpdateModeTest, ABlankChipIsUpdatedAndFoundAgainAsTheModelWhenItRestarts) {
  sim::ChipSimulator &chip = Chip(sim::UpdateModeConfig(GetParam()));
  bus.Plug("1-2", chip);
  const auto image = WriteUpdateFile();
  const std::string file = dir.File(sim::SampleFirmwareFileName(sim::DefaultSimModel(), ".bin"));

  EXPECT_EQ(Run({"--yes", "--file", file}), kExitSuccess);
  EXPECT_TRUE(HoldsOnlyImage(chip, image));

  // Left ISP mode, the chip starts the firmware and shows the model's
  // identity: the kernel sees the update-mode device leave and the model
  // arrive at the same port.
  const unsigned before = bus.Address("1-2");
  bus.Sync();
  EXPECT_NE(bus.Address("1-2"), before);
  const DeviceSearchResult found = Search();
  ASSERT_TRUE(found.found);
  EXPECT_EQ(found.device.caption, "Find Device Orvane-R62");
  EXPECT_EQ(found.device.path, InterfacePath("vid_3b5d&pid_f0b8", "1-2", kAudioClassGuid));
  bool listedAsModel = false;
  for (const UsbDeviceInfo &device : transport.Enumerate())
    if (device.location == "1-2")
      listedAsModel = device.vendorId == 0x3b5d && device.productId == 0xf0b8 && device.hasAudioInterface;
  EXPECT_TRUE(listedAsModel);
}

INSTANTIATE_TEST_SUITE_P(Identities, LibusbUpdateModeTest, ::testing::Values(0x3b5d, 0x0c7e),
                         [](const ::testing::TestParamInfo<uint16_t> &info) {
                           return info.param == 0x3b5d ? std::string("Vendor3b5d") : std::string("Vendor0c7e");
                         });

TEST_F(LibusbProgramTest, TheReadBackWritesTheFirst32KBOfTheFlash) {
  sim::ChipSimulator &chip = Chip(sim::FirmwareConfig(OldFirmware()));
  bus.Plug("1-7", chip);
  const std::string file = dir.File("readback.txt");

  EXPECT_EQ(Run({"--read-back", file}), kExitSuccess);
  EXPECT_TRUE(reporter.readBackConsistent);
  EXPECT_EQ(ReadFile(file), ReadBackText(chip.Flash().Contents(), kReadBackEnd));
  EXPECT_FALSE(chip.InIspMode());
}

class RecordingRegisterView final : public RegisterPanelView {
public:
  void ShowCell(uint8_t address, uint8_t value) override { cells[address] = value; }
  void ShowBits(uint8_t) override {}
  void ShowAddress(const std::string &) override {}
  void ShowData(const std::string &) override {}
  void ShowReading(bool) override {}
  void ProcessMessages() override {}
  std::map<uint8_t, uint8_t> cells;
};

TEST_F(LibusbProgramTest, TheRegisterPageReadsAWholeBankOneRegisterAtATime) {
  sim::ChipSimulator &chip = Chip(sim::UpdateModeConfig(0x3b5d));
  bus.Plug("1-2", chip);
  chip.Registers().Write(0, 5);
  for (int a = 1; a < 256; ++a)
    chip.Registers().Poke(5, static_cast<uint8_t>(a), static_cast<uint8_t>(a * 7 + 3));
  ProgramState state(drivers, clock);
  ASSERT_TRUE(SearchAttachedDevice(state, 0).found);
  const size_t before = bus.Node("1-2").Wire().size();

  ChipCommands commands(state.usb, clock, state.flash.FlashId);
  RecordingRegisterView view;
  RegisterPanel panel(commands, state.monitor, state.registers, view);
  panel.ReadBank();

  ASSERT_EQ(view.cells.size(), 256u);
  EXPECT_EQ(view.cells[0], 5) << "the bank select reads back the bank";
  for (int a = 1; a < 256; ++a)
    EXPECT_EQ(view.cells[static_cast<uint8_t>(a)], static_cast<uint8_t>(a * 7 + 3)) << a;
  const auto wire = bus.Node("1-2").Wire();
  ASSERT_EQ(wire.size() - before, 256u);
  for (size_t i = 0; i < 256; ++i)
    EXPECT_EQ(wire[before + i], (SetupPacket{0xC3, 0x91, 0, static_cast<uint16_t>(i), 1})) << i;
  EXPECT_FALSE(state.usb.HasHandle());
}

TEST_F(LibusbProgramTest, ANodeWithoutWriteAccessRefusesTheUpdateWithTheUdevRuleBeforeAnyTransfer) {
  sim::ChipSimulator &chip = Chip(sim::FirmwareConfig(OldFirmware()));
  bus.AddHub("1-1");
  bus.Plug("1-1.3", chip);
  bus.DenyWriteAccess("1-1.3");
  WriteUpdateFile();

  int status = 0;
  {
    WithoutFileModeOverride asUser;
    status = Run({"--yes"});
  }
  EXPECT_EQ(status, kExitNothingDone);
  ASSERT_EQ(reporter.problems.size(), 1u);
  EXPECT_EQ(reporter.problems[0].first, ProblemKind::CannotOpen);
  EXPECT_NE(reporter.problems[0].second.find("permission denied on USB device 1-1.3 (install "
                                             "packaging/60-orvane-updater.rules as the README says, then replug "
                                             "the device)"),
            std::string::npos)
      << reporter.problems[0].second;
  EXPECT_EQ(reporter.problems[0].second.find("If you lack the permission"), std::string::npos)
      << "one piece of advice, not two";
  EXPECT_TRUE(bus.Node("1-1.3").Wire().empty());
  EXPECT_TRUE(HoldsOnlyImage(chip, OldFirmware()));
}

TEST_F(LibusbProgramTest, ADeviceUnpluggedWhileProgrammingFailsTheUpdate) {
  sim::ChipSimulator &chip = Chip(sim::FirmwareConfig(OldFirmware()));
  bus.Plug("1-2", chip);
  const auto image = WriteUpdateFile();
  reporter.onStep = [&](const std::string &text) {
    if (text == "Start Programming")
      chip.UnplugAfter(40);
  };

  const auto start = steady_clock::now();
  EXPECT_EQ(Run({"--yes"}), kExitFailed);
  EXPECT_LT(steady_clock::now() - start, seconds(3)) << "no retries against a device that is gone";
  EXPECT_EQ(reporter.verdicts, (std::vector<std::pair<bool, std::string>>{{false, "Firmware update Fail!"}}));
  EXPECT_EQ(reporter.reason, "the device was disconnected");
  EXPECT_FALSE(HoldsOnlyImage(chip, image));
  EXPECT_GT(bus.Node("1-2").RefusedAsGone(), 0u) << "the kernel said ENODEV";
  EXPECT_LE(bus.Node("1-2").RefusedAsGone(), 3u) << "the first ENODEV ends the update";
  EXPECT_FALSE(Search().found) << "removed from the bus";
}

TEST_F(LibusbProgramTest, ATransferLostWhileProgrammingTimesOutAndTheRetryWritesTheImage) {
  sim::ChipSimulator &chip = Chip(sim::FirmwareConfig(OldFirmware()));
  bus.Plug("1-2", chip);
  const auto image = WriteUpdateFile();
  reporter.onStep = [&](const std::string &text) {
    if (text == "Start Programming" && reporter.failedAttempts == 0)
      bus.Node("1-2").SwallowTransfers(10, 1);
  };

  EXPECT_EQ(Run({"--yes"}), kExitSuccess);
  EXPECT_EQ(bus.Node("1-2").Discarded(), 1u) << "the host gave up on the lost transfer";
  EXPECT_FALSE(bus.Node("1-2").HostKeptWaiting());
  EXPECT_EQ(reporter.failedAttempts, 1);
  EXPECT_TRUE(HoldsOnlyImage(chip, image));
}

TEST_F(LibusbProgramTest, ADeviceThatStopsAnsweringAndIsUnpluggedFailsTheUpdate) {
  sim::ChipSimulator &chip = Chip(sim::FirmwareConfig(OldFirmware()));
  bus.Plug("1-2", chip);
  const auto image = WriteUpdateFile();
  reporter.onStep = [&](const std::string &text) {
    if (text == "Start Programming")
      bus.Node("1-2").SwallowTransfers(0, UINT64_MAX);
  };
  // The user pulls the silent device once the host has given up on it (or
  // once the node ended a transfer the host would have waited for still).
  clock.atSleep = [&] {
    UsbfsNode &node = bus.Node("1-2");
    if (chip.Present() && (node.Discarded() > 0 || node.HostKeptWaiting()))
      chip.Unplug();
  };

  const auto start = steady_clock::now();
  EXPECT_EQ(Run({"--yes"}), kExitFailed);
  EXPECT_LT(steady_clock::now() - start, seconds(4)) << "a time-out or two, then the unplug ends it";
  EXPECT_EQ(reporter.verdicts, (std::vector<std::pair<bool, std::string>>{{false, "Firmware update Fail!"}}));
  EXPECT_EQ(reporter.reason, "the device was disconnected");
  EXPECT_LE(bus.Node("1-2").RefusedAsGone(), 3u) << "the first ENODEV ends the update";
  EXPECT_GE(bus.Node("1-2").Discarded(), 1u);
  EXPECT_FALSE(bus.Node("1-2").HostKeptWaiting());
  EXPECT_FALSE(HoldsOnlyImage(chip, image));
}

} // namespace
} // namespace orvane::libusb_test
