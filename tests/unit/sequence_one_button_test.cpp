#include "isp/FlashCapacity.h"
#include "isp/OneButtonUpdate.h"
#include "isp/UpdateScreen.h"
#include "sequence_rig.h"
#include "sim/SampleFirmware.h"

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

struct OneButtonRig : SequenceRig {
  using SequenceRig::SequenceRig;

  bool Run() {
    const UpdateVerdict verdict = Update();
    attempts = verdict.attempts;
    reason = verdict.reason;
    return verdict.success;
  }
  UpdateVerdict Update() { return OneButtonUpdate(commands, image, flash, screen).Run(); }

  RecordingStatusView status;
  UpdateScreen screen{status, view};
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

// The last byte of a 64-byte block is compared as any other.
TEST_P(OneButtonUpdateTest, ACellThatDoesNotProgramAtABlocksLastByteFailsEveryVerifyThere) {
  OneButtonRig rig(GetParam());
  rig.LoadImage(ImageBytes(0x800));
  // Erased it reads right; programmed, one bit of 0x00013F reads wrong.
  rig.status.texts.onText = [&](const std::string &text) {
    if (text == "Start Verifying Check")
      rig.chip.Flash().Faults().FlipOnRead(0x13F, 0x01, true);
    if (text == "ISP Fail and retry")
      rig.chip.Flash().Faults().Clear();
  };

  EXPECT_FALSE(rig.Run());
  EXPECT_EQ(rig.attempts, 3);
  EXPECT_EQ(rig.view.info.Count("Verifying Fail at 0x00013F"), 3);
  EXPECT_EQ(rig.reason, "Verifying Fail at 0x00013F");
  EXPECT_FALSE(rig.status.texts.Contains("Verifying Success"));
  EXPECT_TRUE(rig.flash.IspFailed);
}

// The image's last byte is verified as any other, where it ends inside a block.
TEST_P(OneButtonUpdateTest, ACellThatDoesNotProgramAtTheImagesLastByteFailsEveryVerifyThere) {
  OneButtonRig rig(GetParam());
  rig.LoadImage(ImageBytes(1000));
  rig.status.texts.onText = [&](const std::string &text) {
    if (text == "Start Verifying Check")
      rig.chip.Flash().Faults().FlipOnRead(999, 0x80, true);
    if (text == "ISP Fail and retry")
      rig.chip.Flash().Faults().Clear();
  };

  EXPECT_FALSE(rig.Run());
  EXPECT_EQ(rig.view.info.Count("Verifying Fail at 0x0003E7"), 3);
  EXPECT_EQ(rig.reason, "Verifying Fail at 0x0003E7");
  EXPECT_TRUE(rig.flash.IspFailed);
}

TEST_P(OneButtonUpdateTest, ACellThatDoesNotEraseAtABlocksLastByteFailsEveryBlankCheckThere) {
  OneButtonRig rig(GetParam());
  rig.LoadImage(ImageBytes(0x800));
  rig.chip.Flash().Faults().FlipOnRead(0x13F, 0x01, true);

  EXPECT_FALSE(rig.Run());
  EXPECT_EQ(rig.attempts, 3);
  EXPECT_EQ(rig.view.info.Count("Blanking Fail at 0x00013F"), 3);
  EXPECT_EQ(rig.reason, "Blanking Fail at 0x00013F");
  EXPECT_FALSE(rig.status.texts.Contains("Start Programming")) << "nothing is programmed on a flash that is not blank";
  EXPECT_TRUE(rig.flash.IspFailed);
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

// Nothing is erased for an update that cannot succeed.
TEST(OneButtonRefusalTest, AnImageLargerThanTheFlashIsRefusedBeforeTheErase) {
  const auto before = ImageBytes(0x20000, 0x33);
  OneButtonRig rig("C22011", before); // 128 KB
  rig.LoadImage(ImageBytes(0x30000));
  EXPECT_FALSE(rig.Run());
  EXPECT_TRUE(rig.flash.IspFailed);
  EXPECT_EQ(rig.attempts, 0);
  EXPECT_EQ(rig.chip.Flash().Contents(), before);
  EXPECT_EQ(rig.chip.Flash().Activity().chipErases, 0u);
  EXPECT_TRUE(rig.FlashWrites().empty()) << "not even a status write";
  EXPECT_FALSE(rig.chip.InIspMode()) << "left as found";
  EXPECT_FALSE(rig.usb.HasHandle());
}

TEST(OneButtonRefusalTest, TheRefusalNamesBothSizes) {
  OneButtonRig rig("C22011");
  rig.LoadImage(ImageBytes(0x30000));
  const UpdateVerdict verdict = rig.Update();
  EXPECT_FALSE(verdict.success);
  EXPECT_TRUE(verdict.leftIspMode);
  EXPECT_EQ(verdict.refusal, "The image (196608 bytes) is larger than the flash of this device (131072 bytes, "
                             "identifier C2 22 11); nothing was erased");
}

// One byte too many would land on the flash's first byte.
TEST(OneButtonRefusalTest, AnImageOneByteLargerThanTheFlashIsRefusedBeforeTheErase) {
  const auto before = ImageBytes(0x20000, 0x33);
  OneButtonRig rig("C22011", before);
  rig.LoadImage(ImageBytes(0x20001));
  const UpdateVerdict verdict = rig.Update();
  EXPECT_FALSE(verdict.success);
  EXPECT_EQ(verdict.refusal, "The image (131073 bytes) is larger than the flash of this device (131072 bytes, "
                             "identifier C2 22 11); nothing was erased");
  EXPECT_EQ(rig.chip.Flash().Contents(), before);
  EXPECT_TRUE(rig.FlashWrites().empty());
}

// Addresses past the end of a small part wrap to its start: an image whose
// top repeats its bottom would even verify.
TEST(OneButtonRefusalTest, AnImageWhoseTopRepeatsItsBottomIsNoSuccessOnTheSmallPart) {
  const auto before = ImageBytes(0x1000, 0x44);
  OneButtonRig rig("C22011", before);
  auto image = ImageBytes(0x20000);
  image.insert(image.end(), image.begin(), image.end());
  rig.LoadImage(image);
  EXPECT_FALSE(rig.Run());
  EXPECT_TRUE(std::equal(before.begin(), before.end(), rig.chip.Flash().Contents().begin()));
}

TEST(OneButtonRefusalTest, AnImageThatFitsEachPartIsTaken) {
  for (const char *part : kFlashParts) {
    SCOPED_TRACE(part);
    OneButtonRig rig(part);
    const uint32_t size = rig.chip.Config().flashPart.sizeBytes;
    EXPECT_EQ(FlashCapacityBytes(rig.chip.Config().flashPart.jedecId), std::optional<uint32_t>(size));
  }
  EXPECT_EQ(FlashCapacityBytes({0xBF, 0x25, 0x41}), std::nullopt) << "an SST part of unknown size";
  EXPECT_EQ(FlashCapacityBytes({0x00, 0x00, 0x00}), std::nullopt) << "an identifier that was not read";
  EXPECT_EQ(FlashCapacityBytes({0xFF, 0xFF, 0xFF}), std::nullopt);
  EXPECT_EQ(FlashCapacityBytes({0xEF, 0x40, 0x18}), std::optional<uint32_t>(16u << 20));
  EXPECT_EQ(ImageCapacityRefusal(0x40000, {0x12, 0x34, 0x56}), "") << "an unknown part: go on";
}

TEST(OneButtonRefusalTest, AnImageOfOnlyErasedBytesSendsNothing) {
  OneButtonRig rig("C22012", ImageBytes(0x100));
  rig.LoadImage(std::vector<uint8_t>(0x8000, 0xFF));
  const UpdateVerdict verdict = rig.Update();
  EXPECT_FALSE(verdict.success);
  EXPECT_NE(verdict.refusal.find("only 0xFF bytes"), std::string::npos) << verdict.refusal;
  EXPECT_TRUE(rig.transport.Transfers().empty());
}

// A not-busy status after a lost chip-erase command is no proof of an
// erased chip: the attempt fails at once, and the next one erases.
TEST(OneButtonRefusalTest, AStalledChipEraseCommandFailsTheAttempt) {
  OneButtonRig rig("C22012", ImageBytes(0x3000, 0x55));
  const auto image = ImageBytes(0x1000);
  rig.LoadImage(image);
  bool armed = false;
  rig.status.texts.onText = [&](const std::string &text) {
    if (text == "Flash Erase All " && !armed) {
      rig.chip.Faults().StallNth(2); // write enable goes through, the erase command stalls
      armed = true;
    }
  };
  ASSERT_TRUE(rig.Run());
  EXPECT_EQ(rig.attempts, 2);
  const auto &texts = rig.status.texts.texts;
  const auto retry = std::find(texts.begin(), texts.end(), "ISP Fail and retry");
  ASSERT_NE(retry, texts.end());
  EXPECT_NE(std::find(texts.begin(), retry, "Erase Flash Fail"), retry);
  EXPECT_EQ(std::find(texts.begin(), retry, "Start Blanking Check"), retry) << "no blank check on a lost erase";
  EXPECT_TRUE(std::equal(image.begin(), image.end(), rig.chip.Flash().Contents().begin()));
}

} // namespace
} // namespace orvane::test
