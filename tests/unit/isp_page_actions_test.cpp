#include "isp/IspPageActions.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(IspPageActionsTest, ChipIdentifierBytesEachEndInACommaAndTwoBlanks) {
  EXPECT_EQ(ChipIdText({0xC2, 0x20, 0x15}), "0xC2,  0x20,  0x15,  ");
  EXPECT_EQ(ChipIdText({0x00, 0x0A, 0xFF}), "0x00,  0x0A,  0xFF,  ");
}

TEST(IspPageActionsTest, StepButtonsWorkOnTheImageFromTheRangeStart) {
  FlashState flash;
  ImageRecord image;
  image.ImageLength = 1000;
  flash.RangeStart = 0x10000;
  const IspSpan all = ButtonSpan(false, flash, image);
  EXPECT_EQ(all.start, 0u);
  EXPECT_EQ(all.end, 1000u);
  EXPECT_EQ(all.imageBase, 0u);
  const IspSpan assigned = ButtonSpan(true, flash, image);
  EXPECT_EQ(assigned.start, 0x10000u);
  EXPECT_EQ(assigned.end, 0x10000u + 1000u);
  EXPECT_EQ(assigned.imageBase, 0x10000u);
}

} // namespace
} // namespace orvane
