// The one-button update adds nothing to what the protocol needs: the
// transfers are exactly the necessary ones and the time on the device
// comes within a tenth of the least the protocol and the flash allow.

#include "sim/IdealUpdateTime.h"
#include "sim/SampleFirmware.h"
#include "testing/HostWriting.h"
#include "testing/SimulatedUpdate.h"

#include <gtest/gtest.h>

namespace orvane::sim {
namespace {

class QuietViews final : public SilentIspView, public UpdateStatusView {
public:
  void ShowStatus(const std::string &, StatusTone) override {}
  void ProcessMessages() override {}
};

struct SpeedCase {
  const char *part;
  uint64_t latencyUs; // a full-speed frame or a high-speed microframe per transfer
};

// "C22012 at 1000 us a transfer" in failure messages, not the case's bytes.
void PrintTo(const SpeedCase &speed, std::ostream *out) {
  *out << speed.part << " at " << speed.latencyUs << " us a transfer";
}

class UpdateSpeedTest : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(UpdateSpeedTest, NoTransferAndNoWaitBeyondTheProtocol) {
  SimConfig config;
  config.flashPart = *FindFlashPart(GetParam().part);
  SimulatedUpdate update(config, GetParam().latencyUs);
  ASSERT_TRUE(update.Connect());
  const auto image = GenerateSampleFirmware(config.model, 64 * 1024);
  update.LoadImage(image);
  QuietViews views;
  const uint64_t started = update.Clock().NowUs();
  std::array<uint64_t, 256> before{};
  for (size_t r = 0; r < before.size(); ++r)
    before[r] = update.Chip().TransferCount(static_cast<uint8_t>(r));

  ASSERT_TRUE(update.Run(views, views));

  const uint64_t tookUs = update.Clock().NowUs() - started;
  const HostWriting writing = HostWritingFor(config.flashPart);
  const auto least = IdealUpdateTime(config.flashPart, writing, image, static_cast<uint32_t>(image.size()),
                                     GetParam().latencyUs, FlashWaitEnd::Polled);
  const auto floor = IdealUpdateTime(config.flashPart, writing, image, static_cast<uint32_t>(image.size()),
                                     GetParam().latencyUs, FlashWaitEnd::Exact);
  for (size_t r = 0; r < before.size(); ++r)
    EXPECT_EQ(update.Chip().TransferCount(static_cast<uint8_t>(r)) - before[r], least.transfers[r])
        << "request 0x" << std::hex << r;
  EXPECT_GE(tookUs, floor.totalUs) << "faster than the flash allows: a wait or a transfer was skipped";
  EXPECT_LE(tookUs, least.totalUs * 11 / 10);
  EXPECT_TRUE(update.FlashHoldsImage());
}

INSTANTIATE_TEST_SUITE_P(PartsAndBuses, UpdateSpeedTest,
                         ::testing::Values(SpeedCase{"C22012", 1000}, SpeedCase{"C22011", 1000},
                                           SpeedCase{"EF4012", 1000}, SpeedCase{"BF258C", 1000},
                                           SpeedCase{"C22012", 125}, SpeedCase{"C22011", 125}, SpeedCase{"EF4012", 125},
                                           SpeedCase{"BF258C", 125}),
                         [](const ::testing::TestParamInfo<SpeedCase> &info) {
                           return std::string(info.param.part) + "_" + std::to_string(info.param.latencyUs) + "us";
                         });

} // namespace
} // namespace orvane::sim
