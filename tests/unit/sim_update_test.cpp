#include "isp/FlashParts.h"
#include "sim/SampleFirmware.h"
#include "sim_wire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace orvane::sim {
namespace {

using namespace wire;

// A whole firmware update as a careful host runs it, on raw transfers.
class UpdateRun {
public:
  explicit UpdateRun(ChipSimulator &chip) : chip_(chip) {}

  bool Run(const std::vector<uint8_t> &image) {
    chip_.ConnectionOpened();
    EnterIsp(chip_);
    const auto id = Query(chip_, {0x9F}, 3);
    const FlashPart &row = FlashPartFor({id[0], id[1], id[2]});
    const size_t chunk = row.chunkBytes;
    const bool wordMode = row.mode == ProgramMode::Word;
    WriteEnable(chip_);
    Command(chip_, {0x01, 0x00});
    WaitIdle(chip_);
    WriteEnable(chip_);
    Command(chip_, {0xC7});
    chip_.Time().Source().SleepMs(10);
    bool ok = WaitIdle(chip_) && Compare(image, true) && Program(image, chunk, wordMode) && Compare(image, false);
    WriteEnable(chip_);
    Command(chip_, {0x01, row.protectValue});
    WaitIdle(chip_);
    LeaveIsp(chip_);
    chip_.ConnectionClosed();
    return ok;
  }

private:
  bool Program(const std::vector<uint8_t> &image, size_t chunk, bool wordMode) {
    if (wordMode && !WaitIdle(chip_, 101, 1))
      return false;
    for (size_t a = 0; a < image.size(); a += chunk) {
      std::vector<uint8_t> part(image.begin() + a, image.begin() + std::min(image.size(), a + chunk));
      if (std::all_of(part.begin(), part.end(), [](uint8_t b) { return b == 0xFF; }))
        continue;
      if (wordMode) {
        WriteEnable(chip_);
        Command(chip_, {0xAD, static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a),
                        part[0], part[1]});
        for (size_t i = 2; i + 1 < part.size(); i += 2)
          Command(chip_, {0xAD, part[i], part[i + 1]});
        WriteDisable(chip_);
        continue;
      }
      if (!WaitIdle(chip_, 101, 1))
        return false;
      WriteEnable(chip_);
      PageProgram(chip_, static_cast<uint32_t>(a), part);
      for (int i = 0; i < 10; ++i) {
        chip_.Time().Source().SleepMs(1);
        if (Ready(chip_))
          break;
      }
    }
    return true;
  }

  bool Compare(const std::vector<uint8_t> &image, bool blank) {
    for (size_t a = 0; a < image.size(); a += 64) {
      const auto got = Read(chip_, static_cast<uint32_t>(a), 64);
      for (size_t i = 0; i < 64 && a + i < image.size(); ++i)
        if (got[i] != (blank ? 0xFF : image[a + i]))
          return false;
    }
    return true;
  }

  ChipSimulator &chip_;
};

class FullUpdateTest : public ::testing::TestWithParam<const char *> {};

TEST_P(FullUpdateTest, WholeFlashUpdateRunsOnVirtualTimeAndRestartsAsTheModel) {
  VirtualClock clock;
  SimConfig config = ConfigFor(GetParam());
  config.model = *FindSimModel("Orvane-RB09-Max");
  ChipSimulator chip(clock, config);
  ASSERT_TRUE(chip.InUpdateMode());
  const auto image = GenerateSampleFirmware(config.model, config.flashPart.sizeBytes);

  const auto started = std::chrono::steady_clock::now();
  UpdateRun run(chip);
  EXPECT_TRUE(run.Run(image));
  const auto elapsed = std::chrono::steady_clock::now() - started;

  // The real device takes minutes; on virtual time it is a matter of
  // seconds even in a sanitizer build on a loaded machine.
  EXPECT_LT(elapsed, std::chrono::seconds(10));
  EXPECT_EQ(chip.Flash().Contents(), image);
  EXPECT_EQ(chip.Flash().Status() & 0x0C, 0x0C) << "left protected";
  EXPECT_FALSE(chip.InUpdateMode());
  EXPECT_EQ(chip.Describe().productId, 0xF0B7);
}

INSTANTIATE_TEST_SUITE_P(Parts, FullUpdateTest, ::testing::Values("C22012", "C22011", "EF4012", "BF258C"));

} // namespace
} // namespace orvane::sim
