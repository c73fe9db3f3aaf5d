#include "cli/JsonUpdateReporter.h"
#include "cli/UpdateCommand.h"
#include "cli_json_reader.h"
#include "image_test_files.h"
#include "isp/FlashReadBack.h"
#include "isp/OneButtonUpdate.h"
#include "plug_clock.h"
#include "program/UpdateRecords.h"
#include "sim/SimConfig.h"
#include "testing/FlashChecks.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/ChipCommands.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>

namespace orvane {
namespace {

using cli_test::JsonValue;
using cli_test::ParseJsonLines;
using image_test::RandomBytes;
using image_test::ReadFile;
using image_test::TempDirectory;
using image_test::WriteFile;

// Passes everything on but refuses to open, as a device without access
// rights does; the kind is what the bus could tell of the refusal.
class NoAccessBus final : public DeviceBus {
public:
  explicit NoAccessBus(DeviceBus &inner, DeviceErrorKind kind = DeviceErrorKind::Failed) : inner_(inner), kind_(kind) {}
  std::optional<std::vector<std::string>> ListInterfaces(const Guid &interfaceClass) override {
    return inner_.ListInterfaces(interfaceClass);
  }
  DeviceHandle Open(const std::string &) override { return kNullHandle; }
  bool Control(DeviceHandle, const SetupPacket &, uint8_t *, uint32_t *) override { return false; }
  bool Probe(DeviceHandle) override { return false; }
  void Close(DeviceHandle) override {}
  DeviceError LastDeviceError() const override { return {kind_, "permission denied on USB device 3-1"}; }

private:
  DeviceBus &inner_;
  DeviceErrorKind kind_;
};

sim::SimConfig ModelWithFirmware(const char *name) {
  return sim::SampleFirmwareConfig(*sim::FindSimModel(name));
}

class UpdateCommandTest : public ::testing::Test {
protected:
  sim::ChipSimulator &Plug(const std::string &name, const sim::SimConfig &config) {
    return stack.PlugChip(name, config, clock);
  }

  // `orvane-update --yes`, with the chip unplugged at its 20th page program.
  int RunUnpluggedMidProgram(sim::ChipSimulator &chip) {
    int programs = 0;
    chip.SetTransferObserver([&](const SetupPacket &setup, const uint8_t *data, const TransferResult &) {
      if (!setup.isIn() && setup.request == 0x80 && setup.index == 0 && setup.length == 4 && data[0] == 0x02 &&
          ++programs == 20)
        chip.Unplug();
    });
    const int exit = Run({"--yes"});
    chip.SetTransferObserver({});
    return exit;
  }

  int Run(const std::vector<std::string> &args, DeviceBus *useBus = nullptr) {
    std::string error;
    const auto options = ParseUpdateCommandOptions(args, &error);
    EXPECT_TRUE(options) << error;
    JsonUpdateReporter reporter(out, err);
    UpdateCommandContext context{
        useBus ? *useBus : stack.bus, clock, dir.path().string(), reporter, confirm, {}, {}, recordsDirectory};
    return RunUpdateCommand(*options, context);
  }

  std::vector<JsonValue> Events() const {
    std::vector<JsonValue> events;
    for (const auto &line : ParseJsonLines(out.str())) {
      EXPECT_TRUE(line);
      if (line)
        events.push_back(*line);
    }
    return events;
  }

  std::vector<JsonValue> EventsOf(const std::string &kind) const {
    std::vector<JsonValue> matching;
    for (const JsonValue &event : Events())
      if (event["event"].text == kind)
        matching.push_back(event);
    return matching;
  }

  std::vector<std::string> Steps() const {
    std::vector<std::string> steps;
    for (const JsonValue &event : EventsOf("step"))
      steps.push_back(event["text"].text);
    return steps;
  }

  // What the command said of why it did nothing.
  JsonValue Error() const {
    const auto errors = EventsOf("error");
    EXPECT_EQ(errors.size(), 1u) << out.str();
    return errors.empty() ? JsonValue{} : errors.front();
  }

  test::PlugClock clock;
  SimulatedDeviceStack stack;
  TempDirectory dir;
  // Where the command keeps its records of updates cut short; none unless a
  // test names one.
  std::string recordsDirectory;
  ConfirmQuestion confirm;
  std::ostringstream out;
  std::ostringstream err;
};

const std::vector<std::string> kOneAttempt = {"Enter ISP Mode",       "Clear Status register", "Flash Erase All ",
                                              "Start Blanking Check", "Blanking Success",      "Start Programming",
                                              "Programming Success",  "Start Verifying Check", "Verifying Success"};

TEST_F(UpdateCommandTest, UpdatesTheModelWithItsOwnFileAsTheWindowDoes) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  const std::vector<uint8_t> image = RandomBytes(5000, 7);
  WriteFile(dir.File("Orvane_R62.bin"), image);
  WriteFile(dir.File("Orvane_R61.bin"), RandomBytes(100, 8));

  EXPECT_EQ(Run({"--yes"}), kExitSuccess);
  const auto events = Events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0]["event"].text, "device_found");
  EXPECT_EQ(events[0]["caption"].text, "Find Device Orvane-R62");
  EXPECT_EQ(events[0]["identity"].text, "vid_3b5d&pid_f0b8");
  EXPECT_EQ(events[1]["event"].text, "file_loaded");
  EXPECT_EQ(events[1]["path"].text, dir.File("Orvane_R62.bin"));
  EXPECT_EQ(events[1]["caption"].text, "Firmware Update file   Orvane_R62.bin    is Ready!");
  EXPECT_EQ(events[1]["length"].number, 5000);
  EXPECT_EQ(events[1]["checksum"].number, ImageChecksum(image, 5000));
  EXPECT_EQ(Steps(), kOneAttempt);
  EXPECT_EQ(events.back()["event"].text, "verdict");
  EXPECT_TRUE(events.back()["success"].flag);
  EXPECT_EQ(events.back()["text"].text, "Firmware update success!");
  EXPECT_TRUE(HoldsOnlyImage(chip, image));
  EXPECT_FALSE(chip.InIspMode());
  EXPECT_EQ(chip.Flash().Status() & 0x0C, 0x0C) << "left protected";
  EXPECT_EQ(stack.transport.OpenConnections(), 0);
}

TEST_F(UpdateCommandTest, AsksTheWindowsQuestionAndNoSendsNothing) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  const auto firmware = chip.Flash().Contents();
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(300, 9));
  std::string asked;
  confirm = [&](const std::string &question) {
    asked = question;
    return false;
  };
  EXPECT_EQ(Run({}), kExitNothingDone);
  EXPECT_EQ(asked, kUpdateQuestion);
  const auto cancelled = EventsOf("cancelled");
  ASSERT_EQ(cancelled.size(), 1u);
  EXPECT_EQ(cancelled[0]["text"].text, "Abort Firmware update process");
  EXPECT_TRUE(EventsOf("verdict").empty());
  EXPECT_EQ(IspTransferCount(chip), 0u);
  EXPECT_EQ(chip.Flash().Contents(), firmware);

  out.str("");
  confirm = [](const std::string &) { return true; };
  EXPECT_EQ(Run({}), kExitSuccess);
  EXPECT_EQ(EventsOf("verdict").size(), 1u);
}

TEST_F(UpdateCommandTest, WithoutATerminalItNeedsYesAndTouchesNothing) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(300, 9));
  EXPECT_EQ(Run({}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "no_terminal");
  EXPECT_NE(Error()["message"].text.find("--yes"), std::string::npos);
  EXPECT_EQ(chip.TransferCount(), 0u);
}

TEST_F(UpdateCommandTest, AFailedAttemptIsRetriedAndTheUpdateStillSucceeds) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  const std::vector<uint8_t> image = RandomBytes(4096, 11);
  WriteFile(dir.File("Orvane_R62.bin"), image);
  // The first three block reads of the first verify get lost on the way.
  int blockReads = 0;
  stack.transport.SetScriptHook(
      [&](const std::string &, const SetupPacket &setup, uint8_t *) -> std::optional<TransferResult> {
        if (setup.request != 0x82 || setup.length != 64)
          return std::nullopt;
        ++blockReads;
        if (blockReads > 64 && blockReads <= 67)
          return TransferResult{TransferStatus::Failed, 0};
        return std::nullopt;
      });
  EXPECT_EQ(Run({"--yes"}), kExitSuccess);
  const auto failed = EventsOf("attempt_failed");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0]["attempt"].number, 1);
  EXPECT_EQ(failed[0]["attempts"].number, 3);
  EXPECT_EQ(failed[0]["reason"].text, "Verifying Fail at 0x000000");
  const auto verdict = EventsOf("verdict");
  ASSERT_EQ(verdict.size(), 1u);
  EXPECT_TRUE(verdict[0]["success"].flag);
  EXPECT_EQ(verdict[0]["attempts"].number, 2);
  EXPECT_TRUE(HoldsOnlyImage(chip, image));
}

TEST_F(UpdateCommandTest, ThreeFailedAttemptsEndInTheFailVerdict) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(4096, 12));
  chip.Flash().Faults().FlipOnRead(0x100, 0x01, true);
  EXPECT_EQ(Run({"--yes"}), kExitFailed);
  const auto failed = EventsOf("attempt_failed");
  ASSERT_EQ(failed.size(), 3u);
  for (const JsonValue &attempt : failed)
    EXPECT_EQ(attempt["reason"].text, "Blanking Fail at 0x000100");
  const auto events = Events();
  EXPECT_EQ(events.back()["event"].text, "verdict");
  EXPECT_FALSE(events.back()["success"].flag);
  EXPECT_EQ(events.back()["text"].text, "Firmware update Fail!");
  EXPECT_EQ(events.back()["attempts"].number, 3);
  EXPECT_FALSE(chip.InIspMode());
  EXPECT_EQ(stack.transport.OpenConnections(), 0);
}

// A failure before the first erase left the flash as it was, and says so:
// exit 3, flash_changed false, and the reason ends in the note.
TEST_F(UpdateCommandTest, AFailureBeforeAnyEraseExitsThreeAndSaysTheDeviceWasNotChanged) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  const std::vector<uint8_t> before = chip.Flash().Contents();
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(4096, 13));
  chip.Faults().StallEvery(0x82); // no read of the flash ever answers
  EXPECT_EQ(Run({"--yes"}), kExitUnchanged);
  const auto verdict = EventsOf("verdict");
  ASSERT_EQ(verdict.size(), 1u);
  EXPECT_FALSE(verdict[0]["success"].flag);
  EXPECT_FALSE(verdict[0]["flash_changed"].flag);
  EXPECT_EQ(verdict[0]["reason"].text, "the flash did not give its identifier");
  EXPECT_EQ(chip.Flash().Activity().chipErases, 0u);
  EXPECT_EQ(chip.Flash().Contents(), before);
}

// After an erase the exit status says the device was touched, and the
// verdict that its flash changed.
TEST_F(UpdateCommandTest, AFailureAfterTheEraseExitsOneWithTheFlashChanged) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(4096, 14));
  chip.Flash().Faults().FlipOnRead(0x100, 0x01, true);
  EXPECT_EQ(Run({"--yes"}), kExitFailed);
  const auto verdict = EventsOf("verdict");
  ASSERT_EQ(verdict.size(), 1u);
  EXPECT_TRUE(verdict[0]["flash_changed"].flag);
  EXPECT_EQ(verdict[0]["reason"].text, "Blanking Fail at 0x000100");
}

// An update cut short leaves the device in update mode, and the next run,
// without --file and unattended, puts the same file back; the events say
// it is a recovery, and the record goes once it has succeeded.
TEST_F(UpdateCommandTest, AnUpdateCutShortIsPutBackByTheNextUnattendedRun) {
  recordsDirectory = dir.path().string() + "/state";
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  const std::vector<uint8_t> image = RandomBytes(16384, 21);
  WriteFile(dir.File("Orvane_R62.bin"), image);
  EXPECT_EQ(RunUnpluggedMidProgram(chip), kExitFailed);
  chip.Replug();
  ASSERT_TRUE(chip.InUpdateMode()) << "the start of the flash was written before the end";

  out.str("");
  EXPECT_EQ(Run({"--yes"}), kExitSuccess) << out.str();
  const auto loaded = EventsOf("file_loaded");
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_TRUE(loaded[0]["recovery"].flag);
  EXPECT_EQ(loaded[0]["path"].text, dir.File("Orvane_R62.bin"));
  const auto verdict = EventsOf("verdict");
  ASSERT_EQ(verdict.size(), 1u);
  EXPECT_TRUE(verdict[0]["recovery"].flag);
  EXPECT_TRUE(HoldsOnlyImage(chip, image));
  EXPECT_FALSE(UpdateRecords(recordsDirectory).Find("bench", "", SystemUnixSeconds()));
}

// The recorded file changed after the update was cut short: it is not
// programmed, and the message asks for the file.
TEST_F(UpdateCommandTest, AChangedRecordedFileIsNotUsedAndTheFileIsAskedFor) {
  recordsDirectory = dir.path().string() + "/state";
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(16384, 22));
  EXPECT_EQ(RunUnpluggedMidProgram(chip), kExitFailed);
  chip.Replug();
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(16384, 23));
  const auto before = chip.Flash().Contents();

  out.str("");
  EXPECT_EQ(Run({"--yes"}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "invalid_file");
  const std::string message = Error()["message"].text;
  EXPECT_NE(message.find("has changed since"), std::string::npos) << message;
  EXPECT_NE(message.find("--file PATH"), std::string::npos) << message;
  EXPECT_EQ(chip.Flash().Contents(), before);
}

TEST_F(UpdateCommandTest, ProgressOfEachWalkOnlyGrowsAndEndsAtOneHundred) {
  Plug("bench", ModelWithFirmware("Orvane-R62"));
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(10000, 13));
  EXPECT_EQ(Run({"--yes"}), kExitSuccess);
  std::map<std::string, std::vector<double>> percents;
  for (const JsonValue &event : EventsOf("progress"))
    if (event.Has("percent"))
      percents[event["phase"].text].push_back(event["percent"].number);
  ASSERT_EQ(percents.size(), 3u);
  for (const auto &[phase, values] : percents) {
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << phase;
    EXPECT_EQ(values.back(), 100) << phase;
    EXPECT_EQ(std::adjacent_find(values.begin(), values.end()), values.end()) << phase << ": once per percent";
  }
}

// A device in update mode does not say which model it is. Unattended, the
// first model's file is not taken on a guess; asked, the question says so.
TEST_F(UpdateCommandTest, TheUpdateModeDevice3B5DNeedsTheFileNamedOrTheWarningAnswered) {
  sim::ChipSimulator &chip = Plug("bench", sim::UpdateModeConfig(0x3B5D));
  const auto before = chip.Flash().Contents();
  const std::vector<uint8_t> image = RandomBytes(700, 14);
  WriteFile(dir.File("Orvane_Summit.bin"), image);
  EXPECT_EQ(Run({"--yes"}), kExitNothingDone);
  EXPECT_EQ(Error()["message"].text,
            "Firmware update device 3B5D is exist: a device in firmware-update mode does not say which model it is, "
            "so --yes does not program it with Orvane_Summit.bin, the first model's file. Give the image for this "
            "device with --file PATH.");
  EXPECT_EQ(IspTransferCount(chip), 0u);
  EXPECT_EQ(chip.Flash().Contents(), before);

  out.str("");
  std::string asked;
  confirm = [&](const std::string &question) {
    asked = question;
    return true;
  };
  EXPECT_EQ(Run({}), kExitSuccess);
  EXPECT_EQ(asked, "Warning: Firmware update device 3B5D is exist: a device in firmware-update mode does not say "
                   "which model it is. It would get Orvane_Summit.bin, the file of the first model; go on only if "
                   "that is the firmware for this device.\n" +
                       std::string(kUpdateQuestion));
  const auto found = EventsOf("device_found");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]["caption"].text, "Firmware update device 3B5D is exist");
  EXPECT_EQ(found[0]["model"].kind, JsonValue::Kind::Null);
  EXPECT_EQ(found[0]["driver"].text, "generic");
  ASSERT_EQ(EventsOf("file_loaded").size(), 1u);
  EXPECT_EQ(EventsOf("file_loaded")[0]["path"].text, dir.File("Orvane_Summit.bin"));
  EXPECT_TRUE(HoldsOnlyImage(chip, image));

  out.str("");
  const std::vector<uint8_t> named = RandomBytes(900, 15);
  WriteFile(dir.File("chosen.bin"), named);
  EXPECT_EQ(Run({"--yes", "--file", dir.File("chosen.bin")}), kExitSuccess);
  EXPECT_TRUE(HoldsOnlyImage(chip, named));
}

TEST_F(UpdateCommandTest, TheUpdateModeDevice0C7ENeedsAnImageGivenByName) {
  sim::ChipSimulator &chip = Plug("bench", sim::UpdateModeConfig(0x0C7E));
  WriteFile(dir.File("Orvane_Summit.bin"), RandomBytes(700, 15));
  EXPECT_EQ(Run({"--yes"}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "no_update_file");
  EXPECT_EQ(Error()["message"].text.rfind("Firmware update device 0C7E is exist: ", 0), 0u);
  EXPECT_EQ(IspTransferCount(chip), 0u);

  out.str("");
  const std::vector<uint8_t> image = RandomBytes(900, 16);
  WriteFile(dir.File("chosen image.bin"), image);
  EXPECT_EQ(Run({"--yes", "--file", dir.File("chosen image.bin")}), kExitSuccess);
  EXPECT_EQ(EventsOf("file_loaded")[0]["caption"].text, "Firmware Update file   chosen image.bin    is Ready!");
  EXPECT_TRUE(HoldsOnlyImage(chip, image));
}

TEST_F(UpdateCommandTest, AFileThatIsRefusedOrMissingStopsBeforeTheDeviceIsTouched) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  const auto firmware = chip.Flash().Contents();

  EXPECT_EQ(Run({"--yes"}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "no_update_file");
  EXPECT_EQ(Error()["message"].text, "No Updated File ! put Orvane_R62.hex or Orvane_R62.bin into " +
                                         dir.path().string() + ", or give an image with --file PATH.");

  out.str("");
  WriteFile(dir.File("Orvane_R62.hex"), std::string(""));
  EXPECT_EQ(Run({"--yes"}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "invalid_file");
  EXPECT_EQ(Error()["message"].text,
            "Orvane_R62.hex was not loaded: the file is empty. Replace it, or give an image with --file PATH.");

  out.str("");
  WriteFile(dir.File("image.txt"), std::string("hello"));
  EXPECT_EQ(Run({"--yes", "--file", dir.File("image.txt")}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "invalid_file");
  EXPECT_EQ(Error()["message"].text,
            dir.File("image.txt") +
                " was not loaded: the name does not end in a binary (.bin) or HEX (.hex) extension.");

  out.str("");
  EXPECT_EQ(Run({"--yes", "--file", dir.File("missing.hex")}), kExitNothingDone);
  EXPECT_EQ(Error()["message"].text, dir.File("missing.hex") + " was not loaded: the file does not exist.");

  EXPECT_EQ(IspTransferCount(chip), 0u);
  EXPECT_EQ(chip.Flash().Contents(), firmware);
}

TEST_F(UpdateCommandTest, NoDeviceSaysSoAndAWaitWaitsOnTheClock) {
  EXPECT_EQ(Run({"--yes"}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "no_device");
  EXPECT_EQ(Error()["message"].text.rfind("No device is available: ", 0), 0u);
  EXPECT_NE(Error()["message"].text.find("--wait SECONDS"), std::string::npos);
  EXPECT_EQ(clock.NowUs(), 0u) << "one pass over the targets, no waiting";

  out.str("");
  EXPECT_EQ(Run({"--yes", "--wait", "3"}), kExitNothingDone);
  EXPECT_NE(Error()["message"].text.find("within 3 s"), std::string::npos);
  EXPECT_GE(clock.NowUs(), 3'000'000u);
  EXPECT_LT(clock.NowUs(), 3'200'000u);
}

TEST_F(UpdateCommandTest, ADevicePluggedInWhileWaitingIsUpdated) {
  const std::vector<uint8_t> image = RandomBytes(600, 17);
  WriteFile(dir.File("Orvane RB-Lantern.bin"), image);
  sim::ChipSimulator lantern(clock, ModelWithFirmware("Orvane RB-Lantern"));
  clock.At(2'500'000, [&] { stack.Plug("late", lantern); });
  EXPECT_EQ(Run({"--yes", "--wait", "10"}), kExitSuccess);
  const auto found = EventsOf("device_found");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]["caption"].text, "Find Device Orvane RB-Lantern");
  EXPECT_TRUE(HoldsOnlyImage(lantern, image));
  stack.Unplug("late");
}

TEST_F(UpdateCommandTest, ADeviceThatCannotBeOpenedGetsThePermissionsHint) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(300, 18));
  NoAccessBus noAccess(stack.bus);
  EXPECT_EQ(Run({"--yes"}, &noAccess), kExitNothingDone);
  EXPECT_EQ(EventsOf("device_found").size(), 1u);
  EXPECT_EQ(Error()["kind"].text, "cannot_open");
#ifdef _WIN32
  EXPECT_EQ(Error()["message"].text,
            "Find Device Orvane-R62, but the device cannot be opened: permission denied on USB device 3-1. Another "
            "program may hold the device (a second updater, or the maker's control panel), its vendor driver may not "
            "be installed (see \"Windows\" in the README), or the audio system may be using it (stop playback and "
            "recording on it); then plug the device in again.");
#else
  EXPECT_EQ(Error()["message"].text,
            "Find Device Orvane-R62, but the device cannot be opened: permission denied on USB device 3-1. If you "
            "lack the permission to use it, install packaging/60-orvane-updater.rules (see \"Device access on "
            "Linux\" in the README) and plug the device in again.");
#endif
  EXPECT_EQ(chip.TransferCount(), 0u);
}

TEST_F(UpdateCommandTest, OnWindowsARefusedOpenNamesWhatHoldsADeviceThereAndNoUdevRule) {
#ifndef _WIN32
  GTEST_SKIP() << "Linux gives the udev rule for a refusal";
#endif
  Plug("bench", ModelWithFirmware("Orvane-R62"));
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(300, 18));
  NoAccessBus noAccess(stack.bus, DeviceErrorKind::AccessDenied);
  EXPECT_EQ(Run({"--yes"}, &noAccess), kExitNothingDone);
  const std::string message = Error()["message"].text;
  EXPECT_EQ(message.find("udev"), std::string::npos) << message;
  EXPECT_EQ(message.find("60-orvane-updater.rules"), std::string::npos) << message;
  for (const char *cause : {"Another program may hold the device", "vendor driver may not be installed",
                            "the audio system may be using it"})
    EXPECT_NE(message.find(cause), std::string::npos) << cause;
}

TEST_F(UpdateCommandTest, AUsbDeviceTheSystemRefusesGetsTheUdevRuleInsteadOfTheGeneralHint) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows hands out device access by driver, not by udev rules: the general hint stands";
#endif
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(300, 18));
  NoAccessBus noAccess(stack.bus, DeviceErrorKind::AccessDenied);
  EXPECT_EQ(Run({"--yes"}, &noAccess), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "cannot_open");
  EXPECT_EQ(Error()["message"].text,
            "Find Device Orvane-R62, but the device cannot be opened: permission denied on USB device 3-1 (install "
            "packaging/60-orvane-updater.rules as the README says, then replug the device).");
  EXPECT_EQ(chip.TransferCount(), 0u);
}

TEST_F(UpdateCommandTest, ListNamesTheUdevRuleForAUsbDeviceTheSystemRefuses) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows hands out device access by driver, not by udev rules: the general hint stands";
#endif
  Plug("bench", ModelWithFirmware("Orvane-R62"));
  NoAccessBus noAccess(stack.bus, DeviceErrorKind::AccessDenied);
  EXPECT_EQ(Run({"--list"}, &noAccess), kExitSuccess);
  const auto devices = EventsOf("device");
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_FALSE(devices[0]["openable"].flag);
  EXPECT_EQ(devices[0]["open_error"].text, "permission denied on USB device 3-1 (install "
                                           "packaging/60-orvane-updater.rules as the README says, then replug the "
                                           "device)");

  out.str("");
  NoAccessBus unexplained(stack.bus);
  EXPECT_EQ(Run({"--list"}, &unexplained), kExitSuccess);
  EXPECT_EQ(EventsOf("device").at(0)["open_error"].text, "permission denied on USB device 3-1");
}

TEST_F(UpdateCommandTest, ListShowsEveryDeviceWithTheFileItWouldGet) {
  Plug("r62", ModelWithFirmware("Orvane-R62"));
  Plug("blank", sim::UpdateModeConfig(0x0C7E));
  Plug("summit", sim::UpdateModeConfig(0x3B5D));
  WriteFile(dir.File("Orvane_R62.hex"), std::string(":0400000001020304F2\n:00000001FF\n"));
  WriteFile(dir.File("Orvane_Summit.bin"), std::string(""));
  EXPECT_EQ(Run({"--list"}), kExitSuccess);
  const auto devices = EventsOf("device");
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0]["caption"].text, "Find Device Orvane-R62");
  EXPECT_EQ(devices[0]["path"].text.find("vusb"), std::string::npos);
  EXPECT_NE(devices[0]["path"].text.find("vid_3b5d&pid_f0b8#mem.r62#"), std::string::npos);
  EXPECT_TRUE(devices[0]["openable"].flag);
  EXPECT_EQ(devices[0]["update_file"].text, "Orvane_R62.hex");
  EXPECT_TRUE(devices[0]["file_ready"].flag);
  EXPECT_EQ(devices[0]["file_note"].text, "4 bytes, checksum 0x000A");
  EXPECT_EQ(devices[1]["caption"].text, "Firmware update device 3B5D is exist");
  EXPECT_EQ(devices[1]["update_file"].text, "Orvane_Summit.bin");
  EXPECT_FALSE(devices[1]["file_ready"].flag);
  EXPECT_EQ(devices[1]["file_note"].text, "not valid: Orvane_Summit.bin was not loaded: the file is empty.");
  EXPECT_EQ(devices[2]["caption"].text, "Firmware update device 0C7E is exist");
  EXPECT_EQ(devices[2]["update_file"].kind, JsonValue::Kind::Null);

  out.str("");
  stack.UnplugAll();
  EXPECT_EQ(Run({"--list"}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "no_device");
}

TEST_F(UpdateCommandTest, ReadBackWritesTheFirst32KilobytesInTheWindowsFormat) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  const std::vector<uint8_t> flash = chip.Flash().Contents();
  const std::string file = dir.File("flash.txt");
  EXPECT_EQ(Run({"--read-back", file}), kExitSuccess);
  EXPECT_EQ(ReadFile(file), ReadBackText(flash, kReadBackEnd));
  EXPECT_EQ(Steps(),
            (std::vector<std::string>{"Enter ISP Mode", "Read Flash data back", "Read Flash content Success"}));
  const auto written = EventsOf("read_back");
  ASSERT_EQ(written.size(), 1u);
  EXPECT_TRUE(written[0]["consistent"].flag);
  EXPECT_EQ(written[0]["bytes"].number, 32768);
  EXPECT_FALSE(chip.InIspMode());
  EXPECT_EQ(chip.Flash().Contents(), flash);
}

TEST_F(UpdateCommandTest, ReadBackThatIsNotConsistentStillWritesWhatItRead) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  // Every block is read twice; from the block at 0x4000 on, no read arrives.
  int blockReads = 0;
  stack.transport.SetScriptHook(
      [&](const std::string &, const SetupPacket &setup, uint8_t *) -> std::optional<TransferResult> {
        if (setup.request == 0x82 && setup.length == 64 && ++blockReads > 2 * 0x4000 / 64)
          return TransferResult{TransferStatus::Failed, 0};
        return std::nullopt;
      });
  const std::string file = dir.File("flash.txt");
  EXPECT_EQ(Run({"--read-back", file}), kExitFailed);
  EXPECT_EQ(Steps().back(), "Verifying Fail at 0x004000");
  EXPECT_FALSE(EventsOf("read_back")[0]["consistent"].flag);
  const std::string text = ReadFile(file);
  EXPECT_EQ(text.size(), 2048u * 97);
  const auto flash = chip.Flash().Contents();
  EXPECT_EQ(text.substr(0, 0x4000 / 16 * 97), ReadBackText(flash, 0x4000));
  EXPECT_EQ(text.substr(0x4000 / 16 * 97), ReadBackText(std::vector<uint8_t>(0x4000, 0x5A), 0x4000));
  EXPECT_FALSE(chip.InIspMode());
}

TEST_F(UpdateCommandTest, ReadBackToAFileThatCannotBeMadeTouchesNothing) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  EXPECT_EQ(Run({"--read-back", dir.File("no such folder/flash.txt")}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "output_file");
  EXPECT_EQ(chip.TransferCount(), 0u);

  // Nor is an empty file left behind when there is no device to read.
  stack.Unplug("bench");
  out.str("");
  EXPECT_EQ(Run({"--read-back", dir.File("flash.txt")}), kExitNothingDone);
  EXPECT_FALSE(std::filesystem::exists(dir.File("flash.txt")));
}

// A file named for another model: unattended it is refused, asked about
// interactively, and programmed unattended only when the user allows it.
TEST_F(UpdateCommandTest, AFileNamedForAnotherModelIsAskedAboutAndRefusedWithYes) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  const auto before = chip.Flash().Contents();
  const std::vector<uint8_t> r61 = RandomBytes(800, 21);
  WriteFile(dir.File("orvane_r61.bin"), r61);

  EXPECT_EQ(Run({"--yes", "--file", dir.File("orvane_r61.bin")}), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "other_model");
  EXPECT_EQ(Error()["message"].text, "This file is named for Orvane-R61; the attached device is an Orvane-R62, so "
                                     "--yes does not program it. Give --allow-other-model to program it all the same.");
  EXPECT_EQ(IspTransferCount(chip), 0u);
  EXPECT_EQ(chip.Flash().Contents(), before);

  out.str("");
  std::string asked;
  confirm = [&](const std::string &question) {
    asked = question;
    return false;
  };
  EXPECT_EQ(Run({"--file", dir.File("orvane_r61.bin")}), kExitNothingDone);
  EXPECT_EQ(asked, "Warning: This file is named for Orvane-R61; the attached device is an Orvane-R62.\n" +
                       std::string(kUpdateQuestion));
  EXPECT_EQ(chip.Flash().Contents(), before);

  // A name of no model is not asked about; the device's own name neither.
  asked.clear();
  WriteFile(dir.File("firmware.bin"), r61);
  EXPECT_EQ(Run({"--file", dir.File("firmware.bin")}), kExitNothingDone);
  EXPECT_EQ(asked, kUpdateQuestion);

  out.str("");
  EXPECT_EQ(Run({"--yes", "--allow-other-model", "--file", dir.File("orvane_r61.bin")}), kExitSuccess);
  EXPECT_TRUE(HoldsOnlyImage(chip, r61));
}

// A lock that cannot be taken keeps the command off the device, and says why.
TEST_F(UpdateCommandTest, ALockThatCannotBeTakenRefusesTheDevice) {
  sim::ChipSimulator &chip = Plug("bench", ModelWithFirmware("Orvane-R62"));
  const auto before = chip.Flash().Contents();
  WriteFile(dir.File("Orvane_R62.bin"), RandomBytes(800, 22));
  const std::string locks = dir.File("locks");
  std::filesystem::create_directories(locks + "/" + DeviceLock::FileName("mem.bench"));

  std::string error;
  const auto options = ParseUpdateCommandOptions({"--yes"}, &error);
  ASSERT_TRUE(options) << error;
  JsonUpdateReporter reporter(out, err);
  UpdateCommandContext context{stack.bus, clock, dir.path().string(), reporter, confirm, {}, locks, {}};
  EXPECT_EQ(RunUpdateCommand(*options, context), kExitNothingDone);
  EXPECT_EQ(Error()["kind"].text, "lock_failed");
#ifndef _WIN32
  EXPECT_EQ(Error()["message"].text, "cannot use the device lock " + locks + "/" + DeviceLock::FileName("mem.bench") +
                                         ": Is a directory; without its lock the device is left alone");
#endif
  EXPECT_EQ(IspTransferCount(chip), 0u);
  EXPECT_EQ(chip.Flash().Contents(), before);
}

} // namespace
} // namespace orvane
