// The one-button update holds to the device it started on and erases only
// on what each attempt has read for itself: the cases a fault plus a retry
// used to turn into a false success, a wiped device or a write to another
// dongle.

#include "isp/OneButtonUpdate.h"
#include "sim/SampleFirmware.h"
#include "testing/FlashChecks.h"
#include "testing/ForwardingDevice.h"
#include "testing/LatePluggedDevice.h"
#include "testing/ScriptedDevice.h"
#include "testing/SimulatedUpdate.h"
#include "usb/ChipCommands.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvane::sim {
namespace {

constexpr uint64_t kFullSpeedUs = 1000;
constexpr uint32_t kHostTimeoutMs = 1000;
constexpr uint8_t kBlockProtectBits = 0x0C;

class RecordingViews final : public SilentIspView, public UpdateStatusView {
public:
  void ShowStatus(const std::string &text, StatusTone) override { texts.push_back(text); }
  void ProcessMessages() override {}
  bool Showed(const std::string &text) const { return std::find(texts.begin(), texts.end(), text) != texts.end(); }
  std::vector<std::string> texts;
};

SimConfig Config(const char *part) {
  SimConfig config;
  config.flashPart = *FindFlashPart(part);
  config.initialFlash = GenerateSampleFirmware(*FindSimModel("Orvane-R61"), 4096);
  config.startInUpdateMode = true;
  return config;
}

// A dongle running its firmware: it reports its serial number.
SimConfig Running(const char *part, const std::string &location, const std::string &serial) {
  SimConfig config = Config(part);
  config.startInUpdateMode = false;
  config.location = location;
  config.serial = serial;
  return config;
}

std::vector<uint8_t> Firmware(size_t bytes) {
  return GenerateSampleFirmware(*FindSimModel("Orvane-R62"), bytes);
}

struct UpdateRun {
  bool verdict = false;
  std::string reason;
  std::string refusal;
  bool flashChanged = false;
  RecordingViews views;
};

UpdateRun RunUpdate(SimulatedUpdate &update, const std::vector<uint8_t> &image) {
  update.LoadImage(image);
  UpdateRun run;
  run.verdict = update.Run(run.views, run.views);
  run.reason = update.FailureReason();
  run.refusal = update.Refusal();
  run.flashChanged = update.FlashChanged();
  return run;
}

// The update, with the chip unplugged at its transfer number cutAt and, at
// that moment, whatever else the test does to the bus.
UpdateRun RunUnpluggedAt(SimulatedUpdate &update, const std::vector<uint8_t> &image, uint64_t cutAt,
                         const std::function<void()> &then = {}) {
  uint64_t position = 0;
  update.Chip().SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) {
    if (++position != cutAt)
      return;
    update.Chip().Unplug();
    if (then)
      then();
  });
  UpdateRun run = RunUpdate(update, image);
  update.Chip().SetTransferObserver({});
  return run;
}

// Transfers that reach the chip, by position from 1.
uint64_t PositionOf(SimulatedUpdate &update, const std::function<bool(const SetupPacket &, const uint8_t *)> &match,
                    const std::vector<uint8_t> &image, int nth = 1) {
  SimulatedUpdate probe(update.Chip().Config(), kFullSpeedUs);
  EXPECT_TRUE(probe.Connect());
  uint64_t position = 0;
  uint64_t found = 0;
  int seen = 0;
  probe.Chip().SetTransferObserver([&](const SetupPacket &setup, const uint8_t *data, const TransferResult &) {
    ++position;
    if (!found && match(setup, data) && ++seen == nth)
      found = position;
  });
  probe.LoadImage(image);
  RecordingViews views;
  EXPECT_TRUE(probe.Run(views, views));
  return found;
}

// The first transfer of a page program, or of a chunk's word program.
bool PageProgram(const SetupPacket &setup, const uint8_t *data) {
  if (setup.isIn() || setup.request != vendor::kFlashWrite || setup.length < 1)
    return false;
  return (setup.index == 0 && data[0] == flashop::kPageProgram) ||
         (setup.length == 6 && data[0] == flashop::kWordProgram);
}

// Answers every identifier read after the first flash write with the given
// instruction with another maker's: another flash behind the same chip.
class OtherMakerAfter final : public ForwardingDevice {
public:
  OtherMakerAfter(VirtualDevice &inner, uint8_t instruction) : ForwardingDevice(inner), instruction_(instruction) {}
  TransferResult Control(const SetupPacket &setup, uint8_t *data) override {
    if (!setup.isIn() && setup.request == vendor::kFlashWrite && setup.length >= 1 && data[0] == instruction_)
      written_ = true;
    if (!setup.isIn() && setup.request == vendor::kFlashQuery && setup.length >= 1)
      idQuery_ = data[0] == flashop::kReadId;
    const TransferResult result = Inner().Control(setup, data);
    if (written_ && idQuery_ && setup.isIn() && setup.request == vendor::kFlashFetch && result.ok())
      data[0] = 0xEF;
    return result;
  }

private:
  uint8_t instruction_;
  bool written_ = false;
  bool idQuery_ = false;
};

// One late or lost answer to the identifier read used to leave it unread,
// and an unread identifier let any image through; the retry then read it
// but never checked the size again.
TEST(OneDeviceUpdateTest, ALateOrLostIdentifierAnswerNeverLetsALargerImageThrough) {
  const auto image = Firmware(256 * 1024);
  for (const bool late : {false, true}) {
    SCOPED_TRACE(late ? "late" : "lost");
    SimulatedUpdate update(Config("C22011"), kFullSpeedUs); // 128 KB
    ASSERT_TRUE(update.Connect());
    const std::vector<uint8_t> before = update.Chip().Flash().Contents();
    // The 7th transfer fetches the identifier: ISP entry takes four, the
    // query and the ready poll two.
    if (late)
      update.Chip().Faults().LateNth(7, 1500);
    else
      update.Chip().Faults().FailNth(7);
    const UpdateRun run = RunUpdate(update, image);
    EXPECT_FALSE(run.verdict);
    EXPECT_NE(run.refusal.find("is larger than the flash of this device (131072 bytes"), std::string::npos)
        << run.refusal << run.reason;
    EXPECT_EQ(update.Chip().Flash().Activity().chipErases, 0u);
    EXPECT_EQ(update.Chip().Flash().Contents(), before);
    EXPECT_FALSE(run.flashChanged);
  }
}

// Reads that never answer (every fetch stalled, or a ready flag that never
// comes up) prove nothing: no erase goes out and the device keeps its
// firmware.
TEST(OneDeviceUpdateTest, NoEraseWhenNoIdentifierOrStatusCouldBeRead) {
  class NeverReady final : public ForwardingDevice {
  public:
    using ForwardingDevice::ForwardingDevice;
    TransferResult Control(const SetupPacket &setup, uint8_t *data) override {
      const TransferResult result = Inner().Control(setup, data);
      if (setup.request == vendor::kFlashReady && setup.isIn() && result.ok() && result.actual > 0)
        data[0] = 0;
      return result;
    }
  };
  for (const bool stalledFetches : {true, false}) {
    SCOPED_TRACE(stalledFetches ? "every fetch stalls" : "the ready flag never comes up");
    SimulatedUpdate update(Config("C22012"), kFullSpeedUs);
    NeverReady lagging(update.Chip());
    if (stalledFetches) {
      update.Chip().Faults().StallEvery(vendor::kFlashFetch);
      ASSERT_TRUE(update.Connect());
    } else {
      ASSERT_TRUE(update.Connect(&lagging));
    }
    const std::vector<uint8_t> before = update.Chip().Flash().Contents();
    const UpdateRun run = RunUpdate(update, Firmware(4096));
    EXPECT_FALSE(run.verdict);
    EXPECT_EQ(update.Chip().Flash().Activity().chipErases, 0u);
    EXPECT_EQ(update.Chip().Flash().Contents(), before);
    EXPECT_FALSE(run.flashChanged);
    EXPECT_EQ(run.reason, "the flash did not give its identifier");
    EXPECT_EQ(ReasonForUser(run.reason, run.flashChanged),
              "the flash did not give its identifier; the device was not changed");
    EXPECT_FALSE(run.views.Showed("Erase Flash Fail")) << "no erase was sent";
  }
}

// A device that goes away is not followed to another dongle of the same
// model, wherever that one appears: the update fails and the other device
// hears nothing.
TEST(OneDeviceUpdateTest, ASecondDonglePluggedInAfterTheFirstIsPulledIsNeverWritten) {
  const auto image = Firmware(8192);
  for (const bool samePlace : {false, true}) {
    SCOPED_TRACE(samePlace ? "in the same port, another serial number" : "in another port");
    SimulatedUpdate update(Running("C22012", "1-4", "DONGLE-A"), kFullSpeedUs);
    ASSERT_TRUE(update.Connect());
    const uint64_t programAt = PositionOf(update, PageProgram, image, 3);
    ASSERT_GT(programAt, 0u);

    SimulatedDeviceStack &bus = update.Devices();
    ChipSimulator &other = bus.PlugChip("B", Running("C22012", samePlace ? "1-4" : "1-5", "DONGLE-B"), bus.clock);
    const std::vector<uint8_t> otherBefore = other.Flash().Contents();
    LatePluggedDevice later(other, bus.clock);
    bus.Unplug("B");
    const UpdateRun run = RunUnpluggedAt(update, image, programAt, [&] {
      if (samePlace)
        bus.Unplug(update.Chip().Config().location);
      bus.Plug(samePlace ? "1-4" : "1-5", later);
      later.AppearAt(bus.clock.NowUs() + 300'000);
    });
    EXPECT_FALSE(run.verdict);
    EXPECT_EQ(run.reason, kReasonDisconnected);
    EXPECT_EQ(other.TransferCount(), 0u) << "the other dongle was written to";
    EXPECT_EQ(other.Flash().Contents(), otherBefore);
    bus.Unplug(samePlace ? "1-4" : "1-5");
  }
}

// A serial number two attached dongles share names neither: when the one
// being updated goes away, the other is not taken for it.
TEST(OneDeviceUpdateTest, ADongleSharingTheSerialNumberIsNotTakenForTheOneThatWentAway) {
  const auto image = Firmware(8192);
  SimulatedUpdate update(Running("C22012", "1-4", "CLONE"), kFullSpeedUs);
  ASSERT_TRUE(update.Connect());
  const uint64_t programAt = PositionOf(update, PageProgram, image, 3);
  ASSERT_GT(programAt, 0u);
  SimulatedDeviceStack &bus = update.Devices();
  ChipSimulator &other = bus.PlugChip("B", Running("C22012", "1-5", "CLONE"), bus.clock);
  const std::vector<uint8_t> otherBefore = other.Flash().Contents();
  const UpdateRun run = RunUnpluggedAt(update, image, programAt);
  EXPECT_FALSE(run.verdict);
  EXPECT_EQ(run.reason, kReasonDisconnected);
  EXPECT_EQ(IspTransferCount(other), 0u) << "the other dongle was worked on";
  EXPECT_EQ(other.Flash().Contents(), otherBefore);
}

// Two dongles that both carry the serial number of the one that went away
// could each be it: neither is taken for it.
TEST(OneDeviceUpdateTest, TwoDonglesWithTheSerialNumberOfTheOneThatWentAwayAreBothLeftAlone) {
  const auto image = Firmware(8192);
  SimulatedUpdate update(Running("C22012", "1-4", "DONGLE-A"), kFullSpeedUs);
  ASSERT_TRUE(update.Connect());
  const uint64_t programAt = PositionOf(update, PageProgram, image, 3);
  ASSERT_GT(programAt, 0u);
  SimulatedDeviceStack &bus = update.Devices();
  ChipSimulator &first = bus.PlugChip("B", Running("C22012", "1-5", "DONGLE-A"), bus.clock);
  ChipSimulator &second = bus.PlugChip("C", Running("C22012", "1-6", "DONGLE-A"), bus.clock);
  LatePluggedDevice firstLater(first, bus.clock);
  LatePluggedDevice secondLater(second, bus.clock);
  bus.Unplug("B");
  bus.Unplug("C");
  const UpdateRun run = RunUnpluggedAt(update, image, programAt, [&] {
    bus.Plug("1-5", firstLater);
    bus.Plug("1-6", secondLater);
    firstLater.AppearAt(bus.clock.NowUs() + 300'000);
    secondLater.AppearAt(bus.clock.NowUs() + 300'000);
  });
  EXPECT_FALSE(run.verdict);
  EXPECT_EQ(run.reason, kReasonDisconnected);
  EXPECT_EQ(IspTransferCount(first), 0u);
  EXPECT_EQ(IspTransferCount(second), 0u);
}

// A device of another make plugged into the port, even one that happens to
// carry the same serial number, is not this tool's to write.
TEST(OneDeviceUpdateTest, ADeviceOfAnotherMakeInItsPortIsNeverTalkedTo) {
  const auto image = Firmware(8192);
  SimulatedUpdate update(Running("C22012", "1-4", "0001"), kFullSpeedUs);
  ASSERT_TRUE(update.Connect());
  const uint64_t programAt = PositionOf(update, PageProgram, image, 3);
  ASSERT_GT(programAt, 0u);
  UsbDeviceInfo keyboard;
  keyboard.vendorId = 0x1234;
  keyboard.productId = 0x5678;
  keyboard.serial = "0001";
  int keyboardTransfers = 0;
  ScriptedDevice other(keyboard, [&](const SetupPacket &, uint8_t *) {
    ++keyboardTransfers;
    return TransferResult{TransferStatus::Stalled, 0};
  });
  SimulatedDeviceStack &bus = update.Devices();
  const UpdateRun run = RunUnpluggedAt(update, image, programAt, [&] {
    bus.Unplug("1-4");
    bus.Plug("1-4", other);
  });
  EXPECT_FALSE(run.verdict);
  EXPECT_EQ(keyboardTransfers, 0);
}

// A device reached again after a silence is taken back only when its flash
// names itself as the one the update began on.
TEST(OneDeviceUpdateTest, AnotherIdentifierAfterASilenceEndsTheUpdateThere) {
  const auto image = Firmware(16 * 1024);
  SimulatedUpdate update(Config("C22012"), kFullSpeedUs);
  // Every identifier read names another maker once programming has begun.
  OtherMakerAfter swapped(update.Chip(), flashop::kPageProgram);
  ASSERT_TRUE(update.Connect(&swapped));
  const uint64_t at = PositionOf(update, PageProgram, image, 20);
  ASSERT_GT(at, 0u);
  update.Chip().Faults().SilenceFrom(at, 2'500, kHostTimeoutMs);

  const UpdateRun run = RunUpdate(update, image);
  EXPECT_FALSE(run.verdict);
  EXPECT_EQ(run.reason, "the device changed: its flash identifier was C2 20 12, now EF 20 12");
  EXPECT_EQ(update.AttemptsRun(), 1);
  EXPECT_FALSE(update.FlashHoldsImage()) << "nothing was programmed after the silence";
}

// A device that stays attached but answers nothing for a while is waited
// for: the step goes on where it was and the update succeeds.
TEST(OneDeviceUpdateTest, ASilenceOfSecondsInTheMiddleOfProgrammingIsSurvived) {
  const auto image = Firmware(16 * 1024);
  for (const char *part : {"C22012", "C22011", "EF4012", "BF258C"}) {
    for (const uint32_t silenceMs : {2'500u, 10'000u}) {
      SCOPED_TRACE(std::string(part) + ", silent for " + std::to_string(silenceMs) + " ms");
      SimulatedUpdate update(Config(part), kFullSpeedUs);
      ASSERT_TRUE(update.Connect());
      const uint64_t at = PositionOf(update, PageProgram, image, 20);
      ASSERT_GT(at, 0u);
      update.Chip().Faults().SilenceFrom(at, silenceMs, kHostTimeoutMs);
      const UpdateRun run = RunUpdate(update, image);
      EXPECT_TRUE(run.verdict) << run.reason;
      EXPECT_EQ(update.AttemptsRun(), 1) << "the silence costs no attempt";
      EXPECT_TRUE(update.FlashHoldsImage());
      EXPECT_FALSE(update.Chip().InIspMode());
    }
  }
}

// Silent for good: the attempt gives up 30 s after the first unanswered
// transfer and says why; it does not call the device disconnected, nor
// blame a step that never ran.
TEST(OneDeviceUpdateTest, ADeviceSilentForGoodStoppedAnsweringAndNothingElse) {
  const auto image = Firmware(16 * 1024);
  SimulatedUpdate update(Config("C22012"), kFullSpeedUs);
  ASSERT_TRUE(update.Connect());
  const uint64_t at = PositionOf(update, PageProgram, image, 20);
  update.Chip().Faults().SilenceFrom(at, 3'600'000, kHostTimeoutMs);
  uint64_t silentFromUs = 0;
  uint64_t position = 0;
  update.Chip().SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) {
    if (++position == at)
      silentFromUs = update.Clock().NowUs() - kHostTimeoutMs * 1000u;
  });
  const UpdateRun run = RunUpdate(update, image);
  update.Chip().SetTransferObserver({});
  EXPECT_FALSE(run.verdict);
  EXPECT_EQ(run.reason, kReasonStoppedAnswering);
  EXPECT_TRUE(run.flashChanged);
  EXPECT_GE(update.Clock().NowUs() - silentFromUs, 30'000'000u) << "waited for the device";
  EXPECT_LE(update.Clock().NowUs() - silentFromUs, 36'000'000u) << "and no longer";
  EXPECT_FALSE(run.views.Showed(kIspEntryFail)) << "the chip never refused ISP mode";
  EXPECT_FALSE(run.views.Showed("Erase Flash Fail"));
}

// The steps after the verify are retried like the others; when they still
// fail, the reason says the firmware itself is in place.
TEST(OneDeviceUpdateTest, ProtectAndLeaveGetPastALateAnswerAndTellWhatFailedAfterTheVerify) {
  const auto image = Firmware(4096);
  const auto leaveRequest = [](const SetupPacket &setup, const uint8_t *) {
    return setup.request == vendor::kIspLeave;
  };
  const auto protectWrite = [](const SetupPacket &setup, const uint8_t *data) {
    return !setup.isIn() && setup.request == vendor::kFlashWrite && setup.length == 2 &&
           data[0] == flashop::kWriteStatus && data[1] != 0;
  };
  for (const auto &[name, match] :
       {std::pair{"protect", std::function(protectWrite)}, std::pair{"leave", std::function(leaveRequest)}}) {
    SCOPED_TRACE(name);
    SimulatedUpdate update(Config("EF4012"), kFullSpeedUs);
    ASSERT_TRUE(update.Connect());
    update.Chip().Faults().SilenceFrom(PositionOf(update, match, image), 2'500, kHostTimeoutMs);
    const UpdateRun run = RunUpdate(update, image);
    EXPECT_TRUE(run.verdict) << run.reason;
    EXPECT_TRUE(update.FlashHoldsImage());
    EXPECT_EQ(update.Chip().Flash().Status() & kBlockProtectBits, kBlockProtectBits);
    EXPECT_FALSE(update.Chip().InIspMode());
  }

  SimulatedUpdate update(Config("EF4012"), kFullSpeedUs);
  ASSERT_TRUE(update.Connect());
  update.Chip().Faults().StallEvery(vendor::kIspLeave);
  const UpdateRun run = RunUpdate(update, image);
  EXPECT_FALSE(run.verdict);
  EXPECT_EQ(run.reason, "the new firmware was written and verified, but the device did not leave ISP mode: unplug "
                        "it and plug it in again");
  EXPECT_TRUE(update.FlashHoldsImage());
}

// An image that does not verify in the last attempt: the start of the
// flash is erased again, so the chip does not start what is there.
TEST(OneDeviceUpdateTest, AnImageThatDoesNotVerifyLeavesAChipThatComesUpInUpdateMode) {
  for (const char *part : {"C22012", "BF258C"}) {
    SCOPED_TRACE(part);
    SimConfig config = Config(part);
    config.startInUpdateMode = false;
    SimulatedUpdate update(config, kFullSpeedUs);
    ASSERT_TRUE(update.Connect());
    update.LoadImage(Firmware(8192));
    RecordingViews views;
    const auto attempt = [&] { return std::count(views.texts.begin(), views.texts.end(), "Start Programming"); };
    // The first two attempts lose a page write; once the last one programs,
    // a byte never reads back right.
    long lostIn = 0;
    update.Devices().transport.SetScriptHook(
        [&](const std::string &, const SetupPacket &setup, uint8_t *data) -> std::optional<TransferResult> {
          if (attempt() < 3 && lostIn != attempt() && PageProgram(setup, data)) {
            lostIn = attempt();
            return TransferResult{TransferStatus::Stalled, 0};
          }
          return std::nullopt;
        });
    bool armed = false;
    update.Chip().SetTransferObserver([&](const SetupPacket &setup, const uint8_t *data, const TransferResult &) {
      if (!armed && PageProgram(setup, data) && attempt() == 3) {
        armed = true;
        update.Chip().Flash().Faults().FlipOnRead(0x1800, 0x10, true);
      }
    });
    EXPECT_FALSE(update.Run(views, views));
    update.Chip().SetTransferObserver({});
    ASSERT_TRUE(armed);
    EXPECT_EQ(update.FailureReason(), "Verifying Fail at 0x001800");
    update.Chip().Flash().Faults().Clear();
    update.Chip().Replug();
    EXPECT_TRUE(update.Chip().InUpdateMode()) << "the chip would start an image that did not verify";
  }
}

// The start chunk goes last; a write of it the chip took but did not
// confirm fails the walk, and the start of the flash is erased again: the
// chip does not start an image nobody verified.
TEST(OneDeviceUpdateTest, AnUnconfirmedStartChunkLeavesAChipThatComesUpInUpdateMode) {
  for (const char *part : {"C22012", "EF4012"}) {
    SCOPED_TRACE(part);
    SimConfig config = Config(part);
    config.startInUpdateMode = false;
    SimulatedUpdate update(config, kFullSpeedUs);
    ASSERT_TRUE(update.Connect());
    update.LoadImage(Firmware(8192));
    int unconfirmed = 0;
    update.Devices().transport.SetScriptHook(
        [&](const std::string &, const SetupPacket &setup, uint8_t *data) -> std::optional<TransferResult> {
          if (PageProgram(setup, data) && data[1] == 0 && data[2] == 0 && data[3] == 0) {
            ++unconfirmed;
            static_cast<void>(update.Chip().Control(setup, data));
            return TransferResult{TransferStatus::Stalled, 0};
          }
          return std::nullopt;
        });
    RecordingViews views;
    EXPECT_FALSE(update.Run(views, views));
    EXPECT_EQ(unconfirmed, 3) << "once in each attempt, after every other chunk";
    EXPECT_EQ(update.FailureReason(), "the program write at 0x000000 did not go through");
    update.Chip().Replug();
    EXPECT_TRUE(update.Chip().InUpdateMode()) << "the chip would start an image that was never verified";
  }
}

// Another flash answering in a later attempt is another device: the update
// ends there instead of writing it.
TEST(OneDeviceUpdateTest, AnotherIdentifierInALaterAttemptEndsTheUpdate) {
  SimulatedUpdate update(Config("C22012"), kFullSpeedUs);
  // Answers every identifier read after the first erase with another maker's.
  OtherMakerAfter swapped(update.Chip(), flashop::kChipErase);
  ASSERT_TRUE(update.Connect(&swapped));
  update.Chip().Flash().Faults().FlipOnRead(0x40, 0x01, true); // the first attempt fails its blank check
  const UpdateRun run = RunUpdate(update, Firmware(4096));
  EXPECT_FALSE(run.verdict);
  EXPECT_EQ(update.AttemptsRun(), 2);
  EXPECT_EQ(update.Chip().Flash().Activity().chipErases, 1u) << "the other flash is not erased";
  EXPECT_EQ(run.reason, "the device changed: its flash identifier was C2 20 12, now EF 20 12");
}

} // namespace
} // namespace orvane::sim
