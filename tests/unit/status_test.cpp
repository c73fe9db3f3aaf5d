#include "panels/DeviceActionGuard.h"
#include "program/InformationPage.h"
#include "register_bench.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using Lines = std::vector<std::string>;

struct RecordingInformationView final : InformationView {
  void ShowConnection(const std::string &text) override { connection = text; }
  void ShowPlayback(const std::string &text) override { playback = text; }
  void SetPlaybackEnabled(bool enabled) override { playbackEnabled = enabled; }
  void ShowStream(const std::string &formatText, const std::string &rateText) override {
    format = formatText;
    rate = rateText;
  }
  void SetStreamEnabled(bool enabled) override { streamEnabled = enabled; }

  std::string connection = "before", playback = "before", format = "before", rate = "before";
  bool playbackEnabled = true, streamEnabled = true;
};

class StatusPageTest : public ::testing::Test {
protected:
  void SetStatus(uint8_t stream, uint8_t rate) {
    bench.registers.At(0, 0xA6) = stream;
    bench.registers.At(0, 0xA4) = rate;
  }

  test::RegisterBench bench;
  RecordingInformationView view;
  InformationPage page{bench.chip, bench.state.monitor, bench.state.StatusBytes, bench.state.texts};
};

TEST_F(StatusPageTest, UpdateSelectsBankZeroAndReadsTheThreeStatusRegistersInOrder) {
  bench.registers.bank = 0x0E;
  bench.registers.At(0, 0xA4) = 0x13;
  bench.registers.At(0, 0xA5) = 0x7E;
  bench.registers.At(0, 0xA6) = 0x01;
  page.UpdateStatus(view);
  EXPECT_EQ(bench.Traffic(), (Lines{"W 00=00", "R A4", "R A5", "R A6"}));
  EXPECT_EQ(bench.state.StatusBytes, (std::array<uint8_t, 3>{0x13, 0x7E, 0x01}));
  EXPECT_FALSE(bench.state.usb.HasHandle());
  EXPECT_FALSE(bench.state.monitor.ActionRunning);
}

struct PlayingCase {
  uint8_t stream, rate;
  const char *format, *rateText;
};

TEST_F(StatusPageTest, APlayingStreamShowsItsFormatAndRate) {
  const PlayingCase cases[] = {
      {0x01, 0x03, "PCM", "   96KHz"}, {0x03, 0x09, "DSD", " DSD 128"}, {0x03, 0x05, "DSD", "        "},
      {0x01, 0x21, "PCM", "   48KHz"}, {0x03, 0x02, "DSD", " DoP 256"}, {0x01, 0x09, "PCM", "  768KHz"},
      {0x01, 0x0A, "PCM", "        "}, {0x03, 0xFB, "DSD", " DSD 512"},
  };
  for (const PlayingCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "0xA6=" << int{c.stream} << " 0xA4=" << int{c.rate});
    SetStatus(c.stream, c.rate);
    view.streamEnabled = view.playbackEnabled = false;
    page.UpdateStatus(view);
    EXPECT_EQ(view.connection, "USB connected");
    EXPECT_EQ(view.playback, "Playing");
    EXPECT_EQ(view.format, c.format);
    EXPECT_EQ(view.rate, c.rateText);
    EXPECT_TRUE(view.playbackEnabled);
    EXPECT_TRUE(view.streamEnabled);
  }
}

TEST_F(StatusPageTest, AMutedStreamDisablesFormatAndRateWithTheirCaptions) {
  SetStatus(0x01, 0x03);
  page.UpdateStatus(view);
  SetStatus(0x05, 0x09);
  page.UpdateStatus(view);
  EXPECT_EQ(view.connection, "USB connected");
  EXPECT_EQ(view.playback, "Mute");
  EXPECT_TRUE(view.playbackEnabled);
  EXPECT_FALSE(view.streamEnabled);
  EXPECT_EQ(view.format, "PCM");
  EXPECT_EQ(view.rate, "   96KHz");
}

TEST_F(StatusPageTest, NoStreamingConnectionDisablesEverythingButTheConnection) {
  SetStatus(0x05, 0x03);
  page.UpdateStatus(view);
  SetStatus(0x00, 0x03);
  page.UpdateStatus(view);
  EXPECT_EQ(view.connection, "USB Disconnected");
  EXPECT_EQ(view.playback, "Mute");
  EXPECT_FALSE(view.playbackEnabled);
  EXPECT_FALSE(view.streamEnabled);
}

TEST_F(StatusPageTest, RegistersThatCannotBeReadKeepTheirLastValue) {
  SetStatus(0x01, 0x03);
  page.UpdateStatus(view);
  SetStatus(0x00, 0x05);
  bench.registers.failing = {0xA6};
  page.UpdateStatus(view);
  EXPECT_EQ(bench.state.StatusBytes[0], 0x05);
  EXPECT_EQ(bench.state.StatusBytes[2], 0x01);
  EXPECT_EQ(view.connection, "USB connected");
  EXPECT_EQ(view.rate, "  192KHz");
}

TEST_F(StatusPageTest, WithNoDeviceTheStartValuesShowADisconnectedStream) {
  bench.transport.Detach("chip");
  page.UpdateStatus(view);
  EXPECT_EQ(bench.state.StatusBytes, (std::array<uint8_t, 3>{}));
  EXPECT_EQ(view.connection, "USB Disconnected");
  EXPECT_FALSE(view.streamEnabled);
}

TEST_F(StatusPageTest, UpdateIsRefusedWhileAnotherDeviceActionRuns) {
  SetStatus(0x01, 0x03);
  const DeviceActionGuard other(bench.state.monitor);
  page.UpdateStatus(view);
  EXPECT_TRUE(bench.transport.Transfers().empty());
  EXPECT_EQ(view.connection, "before");
}

// --- media keys

class MediaKeyTest : public StatusPageTest {
protected:
  // The firmware answers the media-key command after `reads` reads of 0x90.
  void AnswerAfter(int reads) {
    answerAfter_ = reads;
    bench.registers.afterWrite = [this](uint8_t, uint8_t address, uint8_t value) {
      if (address == 0x90 && value == 0x30)
        readsOfCommand_ = 0;
    };
    bench.device.SetHandler([this](const SetupPacket &setup, uint8_t *data) {
      const TransferResult result = bench.registers.Answer(setup, data);
      if (setup.isIn() && setup.index == 0x90 && ++readsOfCommand_ == answerAfter_)
        data[0] = 0x31;
      return result;
    });
  }

  int answerAfter_ = 0;
  int readsOfCommand_ = 0;
};

TEST_F(MediaKeyTest, HidPlaySendsItsCodeAndTheCommandThenWaitsForTheAnswer) {
  AnswerAfter(3);
  const uint64_t start = bench.clock.NowUs();
  EXPECT_TRUE(page.SendMediaKey(2));
  EXPECT_EQ(bench.Traffic(), (Lines{"W 00=00", "W 91=10", "W 90=30", "R 90", "R 90", "R 90"}));
  EXPECT_EQ(bench.clock.NowUs() - start, 30000u);
  EXPECT_FALSE(bench.state.usb.HasHandle());
}

TEST_F(MediaKeyTest, WithoutAnAnswerTheKeyGivesUpAfterTenReads) {
  AnswerAfter(0);
  const uint64_t start = bench.clock.NowUs();
  EXPECT_FALSE(page.SendMediaKey(2));
  const Lines traffic = bench.Traffic();
  ASSERT_EQ(traffic.size(), 13u);
  EXPECT_EQ(std::count(traffic.begin(), traffic.end(), "R 90"), 10);
  EXPECT_EQ(bench.clock.NowUs() - start, 100000u);
  EXPECT_EQ(bench.clock.SleepCount(), 10u);
}

TEST_F(MediaKeyTest, EachButtonSendsItsOwnCode) {
  AnswerAfter(1);
  const uint8_t codes[] = {0x40, 0x02, 0x10, 0x01, 0x20};
  for (int key = 0; key < 5; ++key) {
    bench.transport.ClearTransfers();
    page.SendMediaKey(key);
    char write[16];
    std::snprintf(write, sizeof write, "W 91=%02X", codes[key]);
    EXPECT_EQ(bench.Traffic().at(1), write);
  }
}

TEST_F(MediaKeyTest, NoKeyOutsideTheFiveAndNoneWhileAnotherActionRuns) {
  AnswerAfter(1);
  EXPECT_FALSE(page.SendMediaKey(-1));
  EXPECT_FALSE(page.SendMediaKey(5));
  const DeviceActionGuard other(bench.state.monitor);
  EXPECT_FALSE(page.SendMediaKey(0));
  EXPECT_TRUE(bench.transport.Transfers().empty());
}

} // namespace
} // namespace orvane
