#include "cli/JsonEvent.h"
#include "cli/JsonUpdateReporter.h"
#include "cli/ReportingEvents.h"
#include "cli/TextUpdateReporter.h"
#include "cli/YesNoQuestion.h"
#include "cli_json_reader.h"
#include "isp/WalkProgress.h"
#include "program/ProgressText.h"

#include <gtest/gtest.h>

#include <sstream>

namespace orvane {
namespace {

using cli_test::JsonReader;
using cli_test::JsonValue;
using cli_test::ParseJsonLines;

// text as the JSON string of a one-member event, with its quotes.
std::string JsonQuoted(const std::string &text) {
  const std::string line = JsonLineText(JsonEvent{{"t", text}});
  const std::string start = "{\"t\":";
  EXPECT_EQ(line.substr(0, start.size()), start);
  EXPECT_EQ(line.back(), '}');
  return line.substr(start.size(), line.size() - start.size() - 1);
}

TEST(JsonLineTest, EscapesWhatJsonNeedsAndKeepsUtf8) {
  EXPECT_EQ(JsonQuoted("plain"), "\"plain\"");
  EXPECT_EQ(JsonQuoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonQuoted("line\nend\r\ttab"), "\"line\\nend\\r\\ttab\"");
  EXPECT_EQ(JsonQuoted(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(JsonQuoted("\b\f"), "\"\\u0008\\u000c\"");
  EXPECT_EQ(JsonQuoted(std::string("nul\0here", 8)), "\"nul\\u0000here\"");
  EXPECT_EQ(JsonQuoted("Prüfung 固件 🎧"), "\"Prüfung 固件 🎧\"");
  EXPECT_EQ(JsonQuoted("a\xE2\x80\xA8"
                       "b"),
            "\"a\\u2028b\"");
  // Text that only looks like an escape stays text.
  EXPECT_EQ(JsonQuoted("\\u00e9 \\b"), "\"\\\\u00e9 \\\\b\"");
}

TEST(JsonLineTest, BytesThatAreNotUtf8BecomeTheReplacementCharacter) {
  // A stray continuation byte, a cut-off sequence, an overlong slash, a surrogate, a byte past U+10FFFF.
  for (const std::string bad : {"\x80", "\xC3", "\xE6\x9B", "\xC0\xAF", "\xED\xA0\x80", "\xF5\x80\x80\x80"}) {
    const std::string quoted = JsonQuoted("x" + bad + "y");
    const auto parsed = JsonReader::Parse(quoted);
    ASSERT_TRUE(parsed) << quoted;
    EXPECT_EQ(parsed->text.substr(0, 1), "x");
    EXPECT_EQ(parsed->text.substr(1, 3), "\xEF\xBF\xBD");
    EXPECT_EQ(parsed->text.back(), 'y');
  }
  EXPECT_EQ(JsonQuoted("\xC3y"), "\"\\ufffdy\"");
}

TEST(JsonLineTest, ObjectKeepsItsMembersInOrder) {
  JsonEvent line = JsonEvent::object();
  line["event"] = "step";
  line["n"] = -3;
  line["big"] = uint64_t{1} << 40;
  line["ok"] = true;
  line["none"] = nullptr;
  EXPECT_EQ(JsonLineText(line), R"({"event":"step","n":-3,"big":1099511627776,"ok":true,"none":null})");
  EXPECT_EQ(JsonLineText(JsonEvent::object()), "{}");
}

class ProgressMeterTest : public ::testing::Test {
protected:
  VirtualClock clock;
  ProgressMeter meter{clock};
};

TEST_F(ProgressMeterTest, PercentAndBytesFollowTheBlocksDone) {
  meter.MarkStep();
  // 1000 bytes in 64-byte blocks: 16 blocks, the last one short.
  WalkProgress p = meter.Update(FlashPhase::Verify, 1, 16, 64, 1000);
  EXPECT_EQ(p.percent, 6);
  EXPECT_EQ(p.bytes, 64u);
  EXPECT_EQ(p.totalBytes, 1000u);
  p = meter.Update(FlashPhase::Verify, 15, 16, 64, 1000);
  EXPECT_EQ(p.percent, 93);
  EXPECT_EQ(p.bytes, 960u);
  p = meter.Update(FlashPhase::Verify, 16, 16, 64, 1000);
  EXPECT_EQ(p.percent, 100);
  EXPECT_EQ(p.bytes, 1000u);
  // 199 of 200 is not done.
  EXPECT_EQ(meter.Update(FlashPhase::Verify, 199, 200, 64, 12800).percent, 99);
}

TEST_F(ProgressMeterTest, TimeLeftComesFromThePaceOfTheBlocksDone) {
  meter.MarkStep();
  clock.AdvanceUs(2'000'000);
  WalkProgress p = meter.Update(FlashPhase::Program, 10, 40, 256, 10240);
  EXPECT_EQ(p.elapsedUs, 2'000'000u);
  EXPECT_EQ(p.remainingUs, std::optional<uint64_t>(6'000'000));
  clock.AdvanceUs(6'000'000);
  p = meter.Update(FlashPhase::Program, 40, 40, 256, 10240);
  EXPECT_EQ(p.elapsedUs, 8'000'000u);
  EXPECT_EQ(p.remainingUs, std::optional<uint64_t>(0));

  // Nothing done yet: no pace, no guess.
  meter.MarkStep();
  EXPECT_FALSE(meter.Update(FlashPhase::Verify, 0, 40, 64, 2560).remainingUs);
}

TEST_F(ProgressMeterTest, AWalkIsTimedFromTheStepBeforeIt) {
  clock.AdvanceUs(5'000'000);
  meter.MarkStep(); // "Start Blanking Check"
  clock.AdvanceUs(300'000);
  EXPECT_EQ(meter.Update(FlashPhase::BlankCheck, 1, 4, 64, 256).elapsedUs, 300'000u);
  clock.AdvanceUs(300'000);
  EXPECT_EQ(meter.Update(FlashPhase::BlankCheck, 2, 4, 64, 256).elapsedUs, 600'000u);
  // The same phase again after a retry starts a walk of its own.
  meter.MarkStep();
  clock.AdvanceUs(100'000);
  const WalkProgress again = meter.Update(FlashPhase::BlankCheck, 1, 4, 64, 256);
  EXPECT_EQ(again.elapsedUs, 100'000u);
  EXPECT_EQ(again.percent, 25);
}

TEST_F(ProgressMeterTest, AnEraseHasOnlyItsElapsedTime) {
  meter.MarkStep();
  clock.AdvanceUs(1'500'000);
  const WalkProgress p = meter.Update(FlashPhase::Erase, 140, 1000, 0, 90112);
  EXPECT_EQ(p.elapsedUs, 1'500'000u);
  EXPECT_EQ(p.percent, 0);
  EXPECT_EQ(p.totalBytes, 0u);
  EXPECT_FALSE(p.remainingUs);
}

WalkProgress Walk(FlashPhase phase, uint32_t done, uint32_t total, uint64_t bytes, uint64_t totalBytes,
                  uint64_t elapsedUs, std::optional<uint64_t> remainingUs) {
  WalkProgress p;
  p.phase = phase;
  p.done = done;
  p.total = total;
  p.percent = total ? static_cast<int>(uint64_t{done} * 100 / total) : 100;
  p.bytes = bytes;
  p.totalBytes = totalBytes;
  p.elapsedUs = elapsedUs;
  p.remainingUs = remainingUs;
  return p;
}

TEST(ProgressTextTest, DurationsBytesAndLines) {
  EXPECT_EQ(DurationText(0), "0:00");
  EXPECT_EQ(DurationText(59'999'999), "0:59");
  EXPECT_EQ(DurationText(754'000'000), "12:34");
  EXPECT_EQ(DurationText(3'723'000'000), "1:02:03");
  EXPECT_EQ(ByteCountText(45056, 90112), "44.0/88.0 KiB");
  EXPECT_EQ(PhaseKey(FlashPhase::BlankCheck), "blank_check");
  EXPECT_EQ(PhaseKey(FlashPhase::ReadBack), "read_back");

  const WalkProgress half = Walk(FlashPhase::Program, 176, 352, 45056, 90112, 2'500'000, 2'500'000);
  EXPECT_EQ(ProgressLine(half, true),
            "Program      [##########          ]  50%  44.0/88.0 KiB  0:02 elapsed  0:02 left");
  EXPECT_EQ(ProgressLine(half, false), "Program  50%  44.0/88.0 KiB  0:02 elapsed  0:02 left");
  const WalkProgress done = Walk(FlashPhase::Verify, 1408, 1408, 90112, 90112, 61'000'000, 0);
  EXPECT_EQ(ProgressLine(done, true), "Verify       [####################] 100%  88.0/88.0 KiB  1:01 elapsed");
  const WalkProgress first = Walk(FlashPhase::BlankCheck, 0, 1408, 0, 90112, 0, std::nullopt);
  EXPECT_EQ(ProgressLine(first, false), "Blank check   0%  0.0/88.0 KiB  0:00 elapsed  -:-- left");
  const WalkProgress erase = Walk(FlashPhase::Erase, 30, 1000, 0, 0, 3'000'000, std::nullopt);
  EXPECT_EQ(ProgressLine(erase, false), "Erase waiting for the chip, 0:03 elapsed");
}

TEST(TextUpdateReporterTest, PlainOutputIsTheWindowTextsAndATenthOfProgressALine) {
  std::ostringstream out;
  std::ostringstream err;
  {
    TextUpdateReporter reporter(out, err, false);
    reporter.DeviceFound({"Find Device Orvane-R62", "vid_3b5d&pid_f0b8", "Orvane-R62", true, "p"});
    reporter.FileLoaded({"/w/Orvane_R62.hex", "Firmware Update file   Orvane_R62.hex    is Ready!", 300, 0x0ABC});
    reporter.Step("Start Programming");
    for (uint32_t done = 1; done <= 20; ++done)
      reporter.Progress(Walk(FlashPhase::Program, done, 20, done * 15, 300, done * 100'000, 0));
    reporter.Step("Programming Success");
    reporter.AttemptFailed(1, 3, "Verifying Fail at 0x000040");
    reporter.Verdict(true, "Firmware update success!", 2, "", true);
  }
  const std::string expected = "Find Device Orvane-R62\n"
                               "Firmware Update file   Orvane_R62.hex    is Ready!\n"
                               "Checksum : 0x0ABC (300 bytes from /w/Orvane_R62.hex)\n"
                               "Start Programming\n";
  ASSERT_EQ(out.str().substr(0, expected.size()), expected);
  std::istringstream lines(out.str().substr(expected.size()));
  std::string line;
  int progressLines = 0;
  while (std::getline(lines, line) && line.rfind("  Program", 0) == 0)
    ++progressLines;
  EXPECT_EQ(progressLines, 10);
  EXPECT_EQ(line, "Programming Success");
  EXPECT_NE(out.str().find("  Program 100%  0.3/0.3 KiB  0:02 elapsed\n"), std::string::npos);
  EXPECT_NE(out.str().find("Attempt 1 of 3 failed: Verifying Fail at 0x000040\nFirmware update success!\n"),
            std::string::npos);
  EXPECT_EQ(out.str().find('\r'), std::string::npos);
  EXPECT_EQ(err.str(), "");
}

TEST(TextUpdateReporterTest, OnATerminalTheBarIsRedrawnInPlaceAndKeptWhenDone) {
  std::ostringstream out;
  std::ostringstream err;
  TextUpdateReporter reporter(out, err, true);
  reporter.Step("Start Verifying Check");
  reporter.Progress(Walk(FlashPhase::Verify, 1, 4, 64, 256, 0, 0));
  reporter.Progress(Walk(FlashPhase::Verify, 1, 4, 64, 256, 0, 0)); // nothing new to show
  reporter.Progress(Walk(FlashPhase::Verify, 4, 4, 256, 256, 0, 0));
  reporter.Step("Verifying Success");
  reporter.Step("Flash Erase All ");
  reporter.Progress(Walk(FlashPhase::Erase, 0, 1000, 0, 0, 0, std::nullopt));
  reporter.Problem(ProblemKind::NoDevice, "gone");
  EXPECT_EQ(out.str(), "Start Verifying Check\n"
                       "\r\x1b[K  Verify       [#####               ]  25%  0.1/0.2 KiB  0:00 elapsed  0:00 left"
                       "\r\x1b[K  Verify       [####################] 100%  0.2/0.2 KiB  0:00 elapsed\n"
                       "Verifying Success\n"
                       "Flash Erase All \n"
                       "\r\x1b[K  Erase        waiting for the chip, 0:00 elapsed"
                       "\r\x1b[K");
  EXPECT_EQ(err.str(), "orvane-update: gone\n");
}

TEST(TextUpdateReporterTest, ListShowsIdentityAccessAndUpdateFile) {
  std::ostringstream out;
  std::ostringstream err;
  TextUpdateReporter reporter(out, err, false);
  ListedDevice listed;
  listed.device = {"Firmware update device 3B5D is exist", "vid_3b5d&pid_6000", "", false, "\\\\?\\usb#x"};
  listed.openable = false;
  listed.openError = "permission denied";
  listed.updateFile = "Orvane_Summit.bin";
  listed.fileReady = true;
  listed.fileNote = "5 bytes, checksum 0x0123";
  reporter.DeviceListed(listed);
  EXPECT_EQ(out.str(), "Firmware update device 3B5D is exist\n"
                       "  identity:    vid_3b5d&pid_6000 (generic USB driver)\n"
                       "  path:        \\\\?\\usb#x\n"
                       "  access:      cannot be opened: permission denied\n"
                       "  update file: Orvane_Summit.bin, 5 bytes, checksum 0x0123\n");
}

// A file name can hold any byte but the slash and NUL; printed raw, its
// control characters would drive the terminal.
TEST(TextUpdateReporterTest, ControlCharactersInNamesAreShownEscaped) {
  std::ostringstream out;
  std::ostringstream err;
  {
    TextUpdateReporter reporter(out, err, true);
    const std::string name = "/w/a\x1b]0;owned\x07"
                             "b\x1b[2J\nc\xC2\x9B"
                             "31m.bin";
    reporter.FileLoaded({name, "Firmware Update file   a.bin    is Ready!", 300, 0x0ABC});
    reporter.ReadBackWritten(name, true, 1024);
    reporter.Problem(ProblemKind::InvalidFile, name + " was not loaded");
    reporter.Verdict(false, "Firmware update Fail!", 1, "the device was disconnected", true);
  }
  const std::string shown = "/w/a\\x1B]0;owned\\x07b\\x1B[2J\\x0Ac\\xC2\\x9B31m.bin";
  EXPECT_NE(out.str().find("bytes from " + shown + ")\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("of flash to " + shown + "\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("Firmware update Fail!\nReason: the device was disconnected\n"), std::string::npos);
  EXPECT_EQ(err.str(), "orvane-update: " + shown + " was not loaded\n");
  EXPECT_EQ(out.str().find('\x07'), std::string::npos);
  EXPECT_EQ(TerminalSafeText("Prüfung 固件 🎧\t"), "Prüfung 固件 🎧\\x09");
}

TEST(JsonUpdateReporterTest, EveryLineIsOneEventAndProgressComesOncePerPercent) {
  std::ostringstream out;
  std::ostringstream err;
  JsonUpdateReporter reporter(out, err);
  reporter.DeviceFound({"Find Device Orvane MR810", "vid_3b5d&pid_f120", "Orvane MR810", true, "\\\\?\\usb#\"q\""});
  reporter.FileLoaded({"/w/Orvane MR810.bin", "Firmware Update file   Orvane MR810.bin    is Ready!", 300, 0xBEEF});
  reporter.Step("Flash Erase All ");
  for (uint32_t poll = 0; poll < 45; ++poll)
    reporter.Progress(Walk(FlashPhase::Erase, poll, 1000, 0, 0, poll * 10'000, std::nullopt));
  reporter.Step("Start Blanking Check");
  for (uint32_t done = 0; done <= 400; ++done)
    reporter.Progress(Walk(FlashPhase::BlankCheck, done, 400, done * 64, 25600, done,
                           done ? std::optional<uint64_t>(400 - done) : std::nullopt));
  reporter.AttemptFailed(1, 3, "Blanking Fail at 0x001000");
  reporter.Problem(ProblemKind::CannotOpen, "no access");
  reporter.Verdict(false, "Firmware update Fail!", 3, "the device was disconnected", true);

  std::vector<JsonValue> events;
  for (const auto &line : ParseJsonLines(out.str())) {
    ASSERT_TRUE(line);
    events.push_back(*line);
  }
  ASSERT_EQ(events.size(), 2u + 1 + 3 + 1 + 101 + 3);
  EXPECT_EQ(events[0]["event"].text, "device_found");
  EXPECT_EQ(events[0]["path"].text, "\\\\?\\usb#\"q\"");
  EXPECT_EQ(events[0]["driver"].text, "audio");
  EXPECT_EQ(events[1]["event"].text, "file_loaded");
  EXPECT_EQ(events[1]["checksum"].number, 0xBEEF);
  EXPECT_EQ(events[1]["checksum_hex"].text, "0xBEEF");
  EXPECT_EQ(events[1]["path"].text, "/w/Orvane MR810.bin");
  // The erase: polls 0, 20 and 40, with no percent.
  EXPECT_EQ(events[3]["phase"].text, "erase");
  EXPECT_EQ(events[4]["done"].number, 20);
  EXPECT_EQ(events[5]["elapsed_ms"].number, 400);
  EXPECT_FALSE(events[5].Has("percent"));
  EXPECT_EQ(events[7]["percent"].number, 0);
  EXPECT_EQ(events[7]["remaining_ms"].kind, JsonValue::Kind::Null);
  EXPECT_EQ(events[107]["percent"].number, 100);
  EXPECT_EQ(events[107]["bytes"].number, 25600);
  EXPECT_EQ(events[108]["event"].text, "attempt_failed");
  EXPECT_EQ(events[108]["reason"].text, "Blanking Fail at 0x001000");
  EXPECT_EQ(events[109]["kind"].text, "cannot_open");
  EXPECT_EQ(events[110]["event"].text, "verdict");
  EXPECT_FALSE(events[110]["success"].flag);
  EXPECT_EQ(events[110]["text"].text, "Firmware update Fail!");
  EXPECT_EQ(events[110]["reason"].text, "the device was disconnected");
  EXPECT_EQ(err.str(), "orvane-update: no access\n");
}

TEST(YesNoQuestionTest, OnlyYesIsOk) {
  for (const char *yes : {"y\n", "Y\n", "yes\n", " YES \n", "y"}) {
    std::istringstream in(yes);
    std::ostringstream out;
    EXPECT_TRUE(AskYesNo(in, out, "Proceed?")) << yes;
    EXPECT_EQ(out.str(), "Warning: Proceed? [y/N] ");
  }
  for (const char *no : {"\n", "n\n", "no\n", "yess\n", "ok\n", ""}) {
    std::istringstream in(no);
    std::ostringstream out;
    EXPECT_FALSE(AskYesNo(in, out, "Proceed?")) << no;
  }
}

// Remembers the events the views pass on.
struct StepLog final : UpdateReporter {
  void DeviceFound(const FoundDevice &) override {}
  void FileLoaded(const LoadedFile &) override {}
  void Step(const std::string &text) override { log.push_back(text); }
  void Progress(const WalkProgress &p) override { log.push_back(PhaseKey(p.phase) + " " + std::to_string(p.bytes)); }
  void AttemptFailed(int attempt, int attempts, const std::string &reason) override {
    log.push_back("failed " + std::to_string(attempt) + "/" + std::to_string(attempts) + ": " + reason);
  }
  void Cancelled(const std::string &) override {}
  void Verdict(bool, const std::string &, int, const std::string &, bool) override {}
  void DeviceListed(const ListedDevice &) override {}
  void ReadBackWritten(const std::string &, bool, uint32_t) override {}
  void Problem(ProblemKind, const std::string &) override {}
  std::vector<std::string> log;
};

TEST(ReportingEventsTest, EachStepOnceAndAFailedAttemptWithItsReason) {
  StepLog log;
  VirtualClock clock;
  FlashState flash;
  flash.ProgramChunkSize = 32;
  ReportingEvents events(log, clock, flash, 100);
  events.StepBegun(UpdateStep::ClearStatus);
  events.StepBegun(UpdateStep::Erase);
  events.EraseWaited(20);
  events.EraseWaited(40);
  events.StepBegun(UpdateStep::Program);
  events.BlocksDone(FlashPhase::Program, 1, 4);
  events.BlocksDone(FlashPhase::Program, 4, 4);
  events.AttemptFailed({1, 3, "the program write at 0x000020 did not go through", true});
  events.StepBegun(UpdateStep::Retry);
  events.StepBegun(UpdateStep::ClearStatus);
  events.StepBegun(UpdateStep::Verify);
  events.WalkFailed(FlashPhase::Verify, "Verifying Fail at 0x000010");
  events.AttemptFailed({2, 3, "Verifying Fail at 0x000010", true});
  events.AttemptFailed({3, 3, "the device was disconnected", false});
  EXPECT_EQ(log.log, (std::vector<std::string>{"Clear Status register", "Flash Erase All ", "Start Programming",
                                               "program 32", "program 100", "ISP Fail and retry",
                                               "failed 1/3: the program write at 0x000020 did not go through",
                                               "Clear Status register", "Start Verifying Check", "ISP Fail and retry",
                                               "failed 2/3: Verifying Fail at 0x000010"}));
  EXPECT_EQ(events.FailedAttempts(), 2);
  EXPECT_EQ(events.WalkFailure(), "Verifying Fail at 0x000010");
}

} // namespace
} // namespace orvane
