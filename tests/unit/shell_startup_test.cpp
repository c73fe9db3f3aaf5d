#include "app/SizeAllowance.h"
#include "program/ProgramState.h"
#include "program/StatusTexts.h"
#include "testing/NullDeviceBus.h"
#include "version/ProgramVersion.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(SizeAllowanceTest, GrowsOnlyFrom120LogicalPixelsPerInch) {
  EXPECT_EQ(SizeAllowance(96), 0);
  EXPECT_EQ(SizeAllowance(119), 0);
  EXPECT_EQ(SizeAllowance(120), 140);
  EXPECT_EQ(SizeAllowance(144), 140);
}

TEST(StatusTextsTest, RateTextsAreEightCharactersRightAligned) {
  const StatusTexts texts;
  for (const std::string &rate : texts.RateTexts)
    EXPECT_EQ(rate.size(), 8u) << '"' << rate << '"';
  EXPECT_EQ(texts.RateTexts[0], " 44.1KHz");
  EXPECT_EQ(texts.RateTexts[3], "   96KHz");
  EXPECT_EQ(texts.RateTexts[9], "  768KHz");
  EXPECT_EQ(texts.RateTexts[10], "        ");
  EXPECT_EQ(texts.RateTexts[16], " DoP  64");
  EXPECT_EQ(texts.RateTexts[19], " DoP 512");
  EXPECT_EQ(texts.RateTexts[20], "        ");
  EXPECT_EQ(texts.RateTexts[25], " DSD 128");
  EXPECT_EQ(texts.RateTexts[27], " DSD 512");
  EXPECT_EQ(texts.RateTexts[31], "        ");
}

TEST(StatusTextsTest, ConnectionPlaybackAndFormatTexts) {
  const StatusTexts texts;
  EXPECT_EQ(texts.UsbConnected, "USB connected");
  EXPECT_EQ(texts.UsbDisconnected, "USB Disconnected");
  EXPECT_EQ(texts.Playing, "Playing");
  EXPECT_EQ(texts.Mute, "Mute");
  EXPECT_EQ(texts.Pcm, "PCM");
  EXPECT_EQ(texts.Dsd, "DSD");
}

TEST(ProgramStateTest, StartValues) {
  NullDeviceBus bus;
  VirtualClock clock;
  ProgramState state(bus, clock);
  EXPECT_EQ(state.caption, "Orvane Firmware Update Tool V1.61");
  // Bumping the project version without the caption (or back) is caught here.
  EXPECT_EQ(state.caption, std::string("Orvane Firmware Update Tool V") + kProgramVersion);
  EXPECT_FALSE(state.usb.IsFound());
  EXPECT_FALSE(state.usb.HasHandle());
  EXPECT_FALSE(state.usb.GetAudioDriver());
  EXPECT_STREQ(state.usb.Target(), "vid_0c7e&pid_6000");
  EXPECT_EQ(state.DeviceRow, 0);
  EXPECT_FALSE(state.monitor.DetectEnabled);
  EXPECT_FALSE(state.monitor.Busy);
  EXPECT_FALSE(state.monitor.UpdateDone);
  EXPECT_FALSE(state.monitor.UpdateId3B5D);
  EXPECT_TRUE(state.image.ImageFileName.empty());
  EXPECT_TRUE(state.imageEdit.ModifyFileName.empty());
  EXPECT_TRUE(state.imageEdit.SaveFilePath.empty());
  EXPECT_EQ(state.texts.RateTexts[4], "176.4KHz");
}

TEST(NullDeviceBusTest, ListsNothingAndOpensNothing) {
  NullDeviceBus bus;
  const auto listed = bus.ListInterfaces(kGuidAudioDriver);
  ASSERT_TRUE(listed.has_value());
  EXPECT_TRUE(listed->empty());
  EXPECT_EQ(bus.Open("\\\\?\\usb#vid_3b5d&pid_f0b6"), kNullHandle);
  uint8_t out[4] = {};
  EXPECT_FALSE(bus.Control(kNullHandle, SetupPacket{0xC3, 0x91, 0, 0xA6, sizeof out}, out, nullptr));
  EXPECT_FALSE(bus.Probe(kNullHandle));
}

} // namespace
} // namespace orvane
