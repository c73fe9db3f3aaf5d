// The update's deadline leaves every attempt it runs the time the limits
// give one attempt: a device as slow as those limits allow, whose first two
// attempts fail at their very end, still gets its third attempt to the end.

#include "isp/FlashParts.h"
#include "isp/FlashTimeLimits.h"
#include "isp/HexText.h"
#include "isp/OneButtonUpdate.h"
#include "sim/SampleFirmware.h"
#include "testing/SimulatedUpdate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace orvane::sim {
namespace {

// Each transfer takes the whole allowance the limits give it: a frame of
// 1 ms, one more for slack, and twice that as the margin.
constexpr uint64_t kSlowTransferUs = 4000;
// Well within the silence an attempt is allowed.
constexpr uint32_t kSilenceMs = 25'000;
constexpr uint32_t kHostTimeoutMs = 1000;

class DeadlineViews final : public IspView, public UpdateStatusView {
public:
  void ShowProcessInfo(const std::string &text) override { info.push_back(text); }
  void ShowProcessAddress(const std::string &) override {}
  void ShowStatusRegister(const std::string &) override {}
  void ShowStatus(const std::string &text, StatusTone) override {
    if (onStatus)
      onStatus(text);
  }
  void ProcessMessages() override {}

  std::vector<std::string> info;
  std::function<void(const std::string &)> onStatus;
};

// The part as slow as its datasheet lets it be.
SimConfig AtItsMaxima(const char *part) {
  SimConfig config;
  config.flashPart = *FindFlashPart(part);
  const FlashMaxima &maxima = FlashPartFor(config.flashPart.jedecId).maxima;
  config.flashPart.timings.pageProgramUs = maxima.pageProgramMs * 1000;
  config.flashPart.timings.chipEraseUs = maxima.chipEraseMs * 1000;
  config.flashPart.timings.statusWriteUs = maxima.statusWriteMs * 1000;
  config.startInUpdateMode = true;
  return config;
}

class UpdateDeadlineTest : public ::testing::TestWithParam<const char *> {};

TEST_P(UpdateDeadlineTest, ASlowDeviceWhoseFirstTwoAttemptsFailAtTheirEndFinishesTheThird) {
  const SimConfig config = AtItsMaxima(GetParam());
  SimulatedUpdate update(config, kSlowTransferUs);
  ASSERT_TRUE(update.Connect());
  const uint32_t size = config.flashPart.sizeBytes;
  update.LoadImage(GenerateSampleFirmware(config.model, size));
  DeadlineViews views;
  int verifies = 0;
  views.onStatus = [&](const std::string &text) {
    if (text == "Start Programming")
      update.Chip().Faults().SilenceFrom(1, kSilenceMs, kHostTimeoutMs);
    // The image's last byte reads wrong in the verify of the first two attempts.
    if (text == "Start Verifying Check" && ++verifies < 3)
      update.Chip().Flash().Faults().FlipOnRead(size - 1, 0x01, true);
    if (text == "ISP Fail and retry")
      update.Chip().Flash().Faults().Clear();
  };
  const uint64_t started = update.Clock().NowUs();

  EXPECT_TRUE(update.Run(views, views)) << update.FailureReason();

  EXPECT_EQ(update.AttemptsRun(), 3);
  const std::string lastByteFailure = "Verifying Fail at 0x" + Hex6(size - 1);
  EXPECT_EQ(std::count(views.info.begin(), views.info.end(), lastByteFailure), 2);
  EXPECT_TRUE(update.FlashHoldsImage());
  EXPECT_LE(update.Clock().NowUs() - started,
            UpdateTimeLimitMs(config.flashPart.jedecId, size, kUpdateAttempts) * 1000);
}

INSTANTIATE_TEST_SUITE_P(Parts, UpdateDeadlineTest, ::testing::Values("C22012", "C22011", "EF4012", "BF258C"));

} // namespace
} // namespace orvane::sim
