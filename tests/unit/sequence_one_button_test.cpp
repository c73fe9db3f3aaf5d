#include "isp/OneButtonUpdate.h"
#include "sequence_rig.h"
#include "sim/SampleFirmware.h"

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

struct OneButtonRig : SequenceRig {
  using SequenceRig::SequenceRig;

  bool Run() {
    OneButtonUpdate update(commands, image, flash, view, status);
    const bool updated = update.Run();
    attempts = update.AttemptsRun();
    reason = update.FailureReason();
    return updated;
  }

  RecordingStatusView status;
  int attempts = 0;
  std::string reason;
};

class OneButtonUpdateTest : public ::testing::TestWithParam<const char *> {};

TEST_P(OneButtonUpdateTest, AnImageThatFillsThePartIsProgrammedVerifiedAndProtected) {
  OneButtonRig rig(GetParam());
  const uint32_t size = rig.chip.Config().flashPart.sizeBytes;
  const auto image = sim::GenerateSampleFirmware(sim::DefaultSimModel(), size);
  rig.LoadImage(image);

  ASSERT_TRUE(rig.Run());
  EXPECT_EQ(rig.attempts, 1);
  EXPECT_FALSE(rig.flash.IspFailed);
  EXPECT_EQ(rig.chip.Flash().Contents(), image);
  EXPECT_EQ(rig.KeptStatus(), rig.ProtectedStatus());
  EXPECT_FALSE(rig.chip.InIspMode());
  EXPECT_EQ(rig.StatusWrites().front(), 0x00) << "cleared first";
  EXPECT_EQ(rig.StatusWrites().back(), GetParam()[0] == 'B' ? 0x7F : 0xFF);
  EXPECT_EQ(rig.status.texts.texts.front(), "Enter ISP Mode");
  EXPECT_EQ(rig.status.texts.texts.back(), "Verifying Success");
  EXPECT_FALSE(rig.usb.HasHandle()) << "closed at the end";
}

TEST_P(OneButtonUpdateTest, ASmallImageLeavesTheRestOfTheFlashErased) {
  OneButtonRig rig(GetParam(), std::vector<uint8_t>(0x3000, 0x00));
  const auto image = ImageBytes(1000);
  rig.LoadImage(image);

  ASSERT_TRUE(rig.Run());
  const auto &flash = rig.chip.Flash().Contents();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_TRUE(std::all_of(flash.begin() + 1000, flash.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(rig.KeptStatus(), rig.ProtectedStatus());
}

TEST_P(OneButtonUpdateTest, AVerifyFailureIsRetriedFromTheEraseAndTheSecondAttemptCounts) {
  OneButtonRig rig(GetParam());
  rig.LoadImage(ImageBytes(0x2000));
  bool armed = false;
  rig.status.texts.onText = [&](const std::string &text) {
    if (text == "Start Verifying Check" && !armed) {
      rig.chip.Flash().Faults().FlipOnRead(0x1234, 0x10, true);
      armed = true;
    }
    if (text == "ISP Fail and retry")
      rig.chip.Flash().Faults().Clear();
  };

  ASSERT_TRUE(rig.Run());
  EXPECT_EQ(rig.attempts, 2);
  EXPECT_TRUE(rig.view.info.Contains("Verifying Fail at 0x001234"));
  EXPECT_EQ(rig.chip.Flash().Activity().chipErases, 2u);
  EXPECT_EQ(rig.status.texts.Count("Enter ISP Mode"), 1) << "ISP mode is entered once";
  EXPECT_TRUE(std::equal(rig.image.ImageBuffer.begin(), rig.image.ImageBuffer.begin() + 0x2000,
                         rig.chip.Flash().Contents().begin()));
}

TEST_P(OneButtonUpdateTest, ThreeFailedAttemptsFailButStillProtectAndLeaveIspMode) {
  OneButtonRig rig(GetParam());
  rig.LoadImage(ImageBytes(0x800));
  rig.chip.Flash().Faults().FlipOnRead(0x10, 0x01, true); // a cell that never reads right

  const uint64_t before = rig.clock.NowUs();
  EXPECT_FALSE(rig.Run());
  EXPECT_EQ(rig.attempts, 3);
  EXPECT_TRUE(rig.flash.IspFailed);
  EXPECT_EQ(rig.chip.Flash().Activity().chipErases, 3u);
  EXPECT_FALSE(rig.status.texts.Contains("Programming Success")) << "the blank check fails first";
  int retries = 0;
  for (const auto &[text, tone] : rig.status.shown)
    if (text == "ISP Fail and retry" && tone == StatusTone::Retry)
      ++retries;
  EXPECT_EQ(retries, 3) << "the third failure shows the notice too";
  EXPECT_GE(rig.clock.NowUs() - before, 3 * 1'000'000u) << "each notice stays a second";
  EXPECT_EQ(rig.KeptStatus(), rig.ProtectedStatus());
  EXPECT_FALSE(rig.chip.InIspMode());
}

TEST_P(OneButtonUpdateTest, AnUnplugWhileProgrammingEndsTheUpdateAtOnceWithTheReason) {
  OneButtonRig rig(GetParam());
  rig.LoadImage(ImageBytes(0x10000));
  // 200 transfers into the programming, the device goes away.
  bool programming = false;
  int transfers = 0;
  uint64_t unpluggedUs = 0;
  rig.status.texts.onText = [&](const std::string &text) { programming = programming || text == "Start Programming"; };
  rig.chip.SetTransferObserver([&](const SetupPacket &, const uint8_t *, const TransferResult &) {
    if (programming && ++transfers == 200) {
      rig.chip.Unplug();
      unpluggedUs = rig.clock.NowUs();
    }
  });

  EXPECT_FALSE(rig.Run());
  ASSERT_NE(unpluggedUs, 0u);
  // No retry can reach a device that is not back: one attempt, then the
  // short wait for it to return, and the verdict.
  EXPECT_EQ(rig.attempts, 1);
  EXPECT_EQ(rig.reason, kReasonDisconnected);
  EXPECT_FALSE(rig.status.texts.Contains("Verifying Success"));
  EXPECT_FALSE(rig.status.texts.Contains("ISP Fail and retry"));
  EXPECT_LE(rig.clock.NowUs() - unpluggedUs, 2'000'000u);
}

INSTANTIATE_TEST_SUITE_P(Parts, OneButtonUpdateTest, ::testing::ValuesIn(kFlashParts));

TEST(OneButtonProgramModeTest, TheSmallMacronixPartGets32ByteChunksAndTheOthers256) {
  for (const char *part : kFlashParts) {
    SCOPED_TRACE(part);
    OneButtonRig rig(part);
    rig.LoadImage(ImageBytes(0x1000));
    ASSERT_TRUE(rig.Run());
    const auto lengths = rig.PageProgramLengths();
    if (std::string(part) == "BF258C") {
      EXPECT_TRUE(lengths.empty()) << "no page program on the SST part";
      continue;
    }
    const size_t chunk = std::string(part) == "C22011" ? 32 : 256;
    EXPECT_EQ(lengths.size(), 0x1000 / chunk);
    EXPECT_TRUE(std::all_of(lengths.begin(), lengths.end(), [&](size_t n) { return n == chunk; }));
  }
}

TEST(OneButtonProgramModeTest, TheSstPartIsProgrammedWordByWordAndProtectedWith7F) {
  OneButtonRig rig("BF258C");
  rig.LoadImage(ImageBytes(0x200));
  ASSERT_TRUE(rig.Run());
  EXPECT_TRUE(rig.flash.WordProgramMode);
  EXPECT_EQ(rig.flash.ProgramChunkSize, 256);
  size_t heads = 0, words = 0;
  for (const auto &write : rig.FlashWrites()) {
    if (write.empty() || write[0] != flashop::kWordProgram)
      continue;
    heads += write.size() == 6; // opcode, address, first word
    words += write.size() == 3; // opcode, next word
  }
  EXPECT_EQ(heads, 2u) << "one auto-increment run per 256-byte chunk";
  EXPECT_EQ(words, 2u * 127);
  EXPECT_EQ(rig.StatusWrites().back(), 0x7F);
  EXPECT_EQ(rig.KeptStatus(), 0x0C);
}

TEST(OneButtonImageTest, AnEmptyImageIsNeverASuccessAndSendsNothing) {
  OneButtonRig rig("C22012");
  rig.image.ImageLength = 0;
  EXPECT_FALSE(rig.Run());
  EXPECT_TRUE(rig.flash.IspFailed);
  EXPECT_TRUE(rig.transport.Transfers().empty());
}

TEST(OneButtonImageTest, AnUnreadableIdentifierDoesNotKeepTheOneReadBefore) {
  OneButtonRig rig("C22011");
  rig.flash.FlashId = {0xC2, 0x22, 0x11}; // from an earlier run
  rig.LoadImage(ImageBytes(0x100));
  rig.chip.Faults().StallEvery(vendor::kFlashFetch);
  EXPECT_FALSE(rig.Run());
  EXPECT_EQ(rig.flash.FlashId, (std::array<uint8_t, 3>{}));
  EXPECT_EQ(rig.flash.ProgramChunkSize, 256);
}

} // namespace
} // namespace orvane::test
