// orvane-update against vantrel-devsim, both as programs, through the
// virtual USB socket.

#include "cli_json_reader.h"
#include "cli_process.h"
#include "isp/FlashReadBack.h"
#include "isp/ImageRecord.h"
#include "sim/IntelHexWriter.h"
#include "sim/SampleFirmware.h"
#include "sim_devsim_process.h"
#include "testing/FlashChecks.h"
#include "usb/DeviceLock.h"
#include "usb/VirtualUsbTransport.h"
#include "version/ProgramVersion.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <thread>

namespace orvane::cli_test {
namespace {

using sim::test::DevsimProcess;
using sim::test::TempDirectory;

constexpr size_t kFlashBytes = 256 * 1024;

std::vector<uint8_t> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Image(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> image(size);
  for (auto &b : image)
    b = static_cast<uint8_t>(generator());
  return image;
}

std::vector<uint8_t> SampleFlash(const char *model) {
  return sim::GenerateSampleFirmware(*sim::FindSimModel(model), kFlashBytes);
}

class OrvaneUpdateTest : public ::testing::Test {
protected:
  OrvaneUpdateTest() { std::filesystem::create_directory(work()); }

  std::string work() const { return runtime.Path() + "/work"; }
  std::string File(const std::string &name) const { return work() + "/" + name; }
  std::string Dump() const { return runtime.Path() + "/flash.bin"; }

  // A fast simulated device that writes its flash to Dump() when it ends.
  std::unique_ptr<DevsimProcess> StartDevice(std::vector<std::string> args) {
    for (const char *extra : {"--speed", "1000", "--dump-flash"})
      args.emplace_back(extra);
    args.push_back(Dump());
    auto devsim = std::make_unique<DevsimProcess>(runtime.Path(), args);
    EXPECT_FALSE(devsim->WaitReady().empty());
    return devsim;
  }

  // The flash as the device holds it once it has ended.
  std::vector<uint8_t> StopAndDump(DevsimProcess &devsim) {
    devsim.Signal(SIGTERM);
    EXPECT_EQ(devsim.Wait(), 0);
    return ReadBytes(Dump());
  }

  ProcessResult Update(const std::vector<std::string> &args) { return RunOrvaneUpdate(args, runtime.Path(), work()); }

  TempDirectory runtime;
};

TEST_F(OrvaneUpdateTest, YesUpdatesTheRunningDeviceAndTheFlashEqualsTheImage) {
  const auto image = Image(24 * 1024, 1);
  WriteBytes(File("Orvane_R62.bin"), image);
  auto devsim = StartDevice({"--model", "Orvane-R62"});
  const ProcessResult run = Update({"--yes"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("Find Device Orvane-R62\nFirmware Update file   Orvane_R62.bin    is Ready!\n", 0), 0u)
      << run.out;
  for (const char *step : {"\nEnter ISP Mode\n", "\nStart Programming\n", "\nVerifying Success\n"})
    EXPECT_NE(run.out.find(step), std::string::npos) << step;
  EXPECT_TRUE(run.out.ends_with("\nFirmware update success!\n")) << run.out;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "no terminal, no bar";
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(HoldsOnlyImage(StopAndDump(*devsim), image));
}

TEST_F(OrvaneUpdateTest, AFlashThatNeverReadsBackRightEndsInFailAndExitOne) {
  WriteBytes(File("Orvane_R62.bin"), Image(8 * 1024, 2));
  auto devsim = StartDevice({"--model", "Orvane-R62", "--fault", "flip-read:200:04:stuck"});
  const ProcessResult run = Update({"--yes"});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_TRUE(run.out.ends_with("\nFirmware update Fail!\nReason: Blanking Fail at 0x000200\n")) << run.out;
  size_t retries = 0;
  for (size_t at = run.out.find("\nISP Fail and retry\n"); at != std::string::npos;
       at = run.out.find("\nISP Fail and retry\n", at + 1))
    ++retries;
  EXPECT_EQ(retries, 3u);
  EXPECT_NE(run.out.find("Attempt 3 of 3 failed: Blanking Fail at 0x000200"), std::string::npos) << run.out;
}

// Real time: the device goes away in the middle of programming (at its
// 50th flash write: past the status clear and erase, a few dozen pages in).
TEST_F(OrvaneUpdateTest, UnpluggedMidProgramEndsWithTheReasonWithinSeconds) {
  WriteBytes(File("Orvane_R62.bin"), Image(24 * 1024, 7));
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "json" : "text");
    auto devsim = StartDevice({"--model", "Orvane-R62", "--fault", "unplug-request:80:50"});
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult run =
        Update(json ? std::vector<std::string>{"--yes", "--json"} : std::vector<std::string>{"--yes"});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_LT(took, std::chrono::seconds(4));
    if (json) {
      const auto lines = ParseJsonLines(run.out);
      ASSERT_FALSE(lines.empty());
      ASSERT_TRUE(lines.back()) << run.out;
      const JsonValue &verdict = *lines.back();
      EXPECT_EQ(verdict["event"].text, "verdict");
      EXPECT_FALSE(verdict["success"].flag);
      EXPECT_EQ(verdict["text"].text, "Firmware update Fail!");
      EXPECT_EQ(verdict["reason"].text, "the device was disconnected");
    } else {
      EXPECT_NE(run.out.find("\nStart Programming\n"), std::string::npos) << run.out;
      EXPECT_TRUE(run.out.ends_with("\nFirmware update Fail!\nReason: the device was disconnected\n")) << run.out;
    }
  }
}

// Another program holds the device: refused at once, nothing sent; once
// it lets go, the update runs.
TEST_F(OrvaneUpdateTest, ASecondUpdaterOnTheSameDeviceIsRefusedWithExitTwo) {
  const auto image = Image(4 * 1024, 8);
  WriteBytes(File("Orvane_R62.bin"), image);
  auto devsim = StartDevice({"--model", "Orvane-R62", "--name", "r62"});
  auto lock = std::make_unique<DeviceLock>();
  const std::string lockFile = runtime.Path() + "/vantrel-vusb/r62.lock";
  ASSERT_EQ(lock->TryAcquireIn(AT_FDCWD, lockFile, lockFile), DeviceLock::Outcome::Acquired);
  ProcessResult run = Update({"--yes"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "Find Device Orvane-R62\n");
  EXPECT_EQ(run.err,
            "orvane-update: device busy: another update is running (pid " + std::to_string(::getpid()) + ")\n");
  run = Update({"--yes", "--json"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("\"kind\":\"device_busy\""), std::string::npos) << run.out;

  lock.reset();
  run = Update({"--yes"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(HoldsOnlyImage(StopAndDump(*devsim), image));
}

// One late or lost answer to the identifier read used to switch the size
// check off: a 256 KB image went onto a 128 KB flash and was called a
// success. It is refused before anything is erased.
TEST_F(OrvaneUpdateTest, ALateOrLostIdentifierAnswerStillRefusesAnImageLargerThanTheFlash) {
  const auto before = Image(128 * 1024, 21);
  WriteBytes(File("before.bin"), before);
  WriteBytes(File("big.bin"), Image(256 * 1024, 22));
  for (const char *fault : {"fail:7", "delay:7:1500"}) {
    SCOPED_TRACE(fault);
    auto devsim = StartDevice(
        {"--model", "Orvane-R62", "--flash-part", "C22011", "--flash-file", File("before.bin"), "--fault", fault});
    const ProcessResult run = Update({"--yes", "--file", "big.bin"});
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    EXPECT_NE(run.err.find("is larger than the flash of this device (131072 bytes"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("success"), std::string::npos) << run.out;
    EXPECT_EQ(StopAndDump(*devsim), before);
  }
}

// The position of the n-th transfer of request code request in a device
// trace (one line a transfer after the heading), counted from 1.
uint64_t TransferPosition(const std::string &tracePath, const std::string &request, int nth) {
  std::ifstream trace(tracePath);
  std::string line;
  uint64_t position = 0;
  int seen = 0;
  while (std::getline(trace, line)) {
    if (line.empty() || line[0] == '#')
      continue;
    ++position;
    std::istringstream fields(line);
    std::string time, direction, type, code;
    fields >> time >> direction >> type >> code;
    if (code == request && ++seen == nth)
      return position;
  }
  return 0;
}

// A device that stays attached but answers nothing for seconds in the middle
// of programming is waited for, and the update succeeds.
TEST_F(OrvaneUpdateTest, ASilenceOfSecondsMidProgramEndsInSuccess) {
  const auto image = Image(24 * 1024, 23);
  WriteBytes(File("Orvane_R62.bin"), image);
  const std::string trace = runtime.Path() + "/trace.txt";
  {
    auto clean = StartDevice({"--model", "Orvane-R62", "--trace", trace});
    ASSERT_EQ(Update({"--yes"}).status, 0);
    StopAndDump(*clean);
  }
  // Half-way through the page programs.
  const uint64_t at = TransferPosition(trace, "80", 100);
  ASSERT_GT(at, 0u);
  for (const int silenceMs : {2'500, 10'000}) {
    SCOPED_TRACE(std::to_string(silenceMs) + " ms");
    auto devsim = StartDevice(
        {"--model", "Orvane-R62", "--fault", "delay:" + std::to_string(at) + ":" + std::to_string(silenceMs)});
    const ProcessResult run = RunOrvaneUpdate({"--yes", "--json"}, runtime.Path(), work(), 60'000);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const auto lines = ParseJsonLines(run.out);
    ASSERT_FALSE(lines.empty());
    ASSERT_TRUE(lines.back());
    EXPECT_TRUE((*lines.back())["success"].flag);
    EXPECT_TRUE(HoldsOnlyImage(StopAndDump(*devsim), image));
  }
}

// Dongle A pulled in the middle of programming, dongle B of the same model
// plugged in 0.3 s later: the update ends as disconnected and B is never
// written, not even asked.
TEST_F(OrvaneUpdateTest, ADonglePluggedInAfterTheFirstIsPulledIsNeverWritten) {
  const auto image = Image(24 * 1024, 24);
  WriteBytes(File("Orvane_R62.bin"), image);
  auto first = StartDevice(
      {"--model", "Orvane-R62", "--name", "dongle-a", "--serial", "DONGLE-A", "--fault", "unplug-request:80:50"});
  ProcessResult run;
  std::thread updater([&] { run = Update({"--yes", "--json"}); });
  VirtualUsbTransport look(runtime.Path() + "/vantrel-vusb");
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (look.StillAttached("dongle-a") && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string traceB = runtime.Path() + "/trace-b.txt";
  const std::string dumpB = runtime.Path() + "/flash-b.bin";
  DevsimProcess second(runtime.Path(), {"--model", "Orvane-R62", "--name", "dongle-b", "--serial", "DONGLE-B",
                                        "--speed", "1000", "--trace", traceB, "--dump-flash", dumpB});
  EXPECT_FALSE(second.WaitReady().empty());
  updater.join();

  EXPECT_EQ(run.status, 1) << run.out << run.err;
  const auto lines = ParseJsonLines(run.out);
  ASSERT_FALSE(lines.empty());
  ASSERT_TRUE(lines.back());
  EXPECT_EQ((*lines.back())["reason"].text, "the device was disconnected");
  second.Signal(SIGTERM);
  EXPECT_EQ(second.Wait(), 0);
  EXPECT_EQ(TransferPosition(traceB, "", 1), 0u) << "dongle B heard a control transfer";
  EXPECT_EQ(ReadBytes(dumpB), SampleFlash("Orvane-R62"));
}

// Something put where the device's lock file belongs keeps every program
// off the device, with the reason; it is neither followed nor changed.
TEST_F(OrvaneUpdateTest, ALinkAtTheDevicesLockFileRefusesTheUpdateWithExitTwo) {
  WriteBytes(File("Orvane_R62.bin"), Image(4 * 1024, 9));
  auto devsim = StartDevice({"--model", "Orvane-R62", "--name", "r62"});
  const std::string lockFile = runtime.Path() + "/vantrel-vusb/r62.lock";
  const std::string victim = runtime.Path() + "/victim";
  ASSERT_EQ(::symlink(victim.c_str(), lockFile.c_str()), 0);
  ProcessResult run = Update({"--yes"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "Find Device Orvane-R62\n");
  EXPECT_EQ(run.err, "orvane-update: cannot use the device lock " + lockFile +
                         ": it is a symbolic link; without its lock the device is left alone\n");
  run = Update({"--yes", "--json"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("\"kind\":\"lock_failed\""), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(victim));
  EXPECT_EQ(StopAndDump(*devsim), SampleFlash("Orvane-R62"));
}

// A file named for another model is not programmed unattended unless the
// user says so.
TEST_F(OrvaneUpdateTest, AnotherModelsFileIsRefusedWithYesUnlessAllowed) {
  const auto image = Image(4 * 1024, 10);
  WriteBytes(File("Orvane_R61.bin"), image);
  auto devsim = StartDevice({"--model", "Orvane-R62"});
  ProcessResult run = Update({"--yes", "--file", "Orvane_R61.bin"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "orvane-update: This file is named for Orvane-R61; the attached device is an Orvane-R62, so "
                     "--yes does not program it. Give --allow-other-model to program it all the same.\n");
  run = Update({"--yes", "--json", "--file", "Orvane_R61.bin"});
  EXPECT_NE(run.out.find("\"kind\":\"other_model\""), std::string::npos) << run.out;
  run = Update({"--yes", "--allow-other-model", "--file", "Orvane_R61.bin"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(HoldsOnlyImage(StopAndDump(*devsim), image));
}

// The whole story by hand: an update cut off halfway, the dongle plugged in
// again, and the next unattended run, with no file named and in another
// folder, puts back the file the cut update was writing.
TEST_F(OrvaneUpdateTest, ADonglePluggedBackAfterACutUpdateIsRestoredWithoutNamingTheFile) {
  const auto image = Image(24 * 1024, 25);
  std::filesystem::create_directory(File("release"));
  WriteBytes(File("release/Orvane_R62.bin"), image);
  auto devsim = StartDevice({"--model", "Orvane-R62", "--fault", "unplug-request:80:50", "--replug-after", "300"});
  ProcessResult run = Update({"--yes", "--file", File("release/Orvane_R62.bin")});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  std::this_thread::sleep_for(std::chrono::milliseconds(600));

  run = Update({"--yes", "--json"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  bool recovery = false;
  for (const auto &line : ParseJsonLines(run.out)) {
    ASSERT_TRUE(line);
    if ((*line)["event"].text == "device_found") {
      EXPECT_EQ((*line)["identity"].text, "vid_3b5d&pid_6000") << "the dongle came back in update mode";
    }
    if ((*line)["event"].text == "file_loaded") {
      recovery = (*line)["recovery"].flag;
      EXPECT_EQ((*line)["path"].text, File("release/Orvane_R62.bin"));
    }
  }
  EXPECT_TRUE(recovery);
  EXPECT_TRUE(HoldsOnlyImage(StopAndDump(*devsim), image));
}

TEST_F(OrvaneUpdateTest, NoDeviceIsExitTwoWithAMessage) {
  WriteBytes(File("Orvane_R62.bin"), Image(1024, 3));
  const ProcessResult run = Update({"--yes"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("orvane-update: No device is available: ", 0), 0u) << run.err;
}

TEST_F(OrvaneUpdateTest, AnInvalidFileIsExitTwoAndTheFlashIsUntouched) {
  WriteBytes(File("Orvane_R62.hex"), {});
  auto devsim = StartDevice({"--model", "Orvane-R62"});
  ProcessResult run = Update({"--yes"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "Find Device Orvane-R62\n");
  EXPECT_EQ(run.err, "orvane-update: Orvane_R62.hex was not loaded: the file is empty. Replace it, or give an "
                     "image with --file PATH.\n");

  WriteBytes(File("image.bin"), std::vector<uint8_t>(kImageBufferSize + 1, 0x00));
  run = Update({"--yes", "--file", "image.bin"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "orvane-update: image.bin was not loaded: the file is longer than the 262144-byte image.\n");
  EXPECT_EQ(StopAndDump(*devsim), SampleFlash("Orvane-R62"));
}

TEST_F(OrvaneUpdateTest, WithoutATerminalAndWithoutYesNothingHappens) {
  WriteBytes(File("Orvane_R62.bin"), Image(1024, 4));
  auto devsim = StartDevice({"--model", "Orvane-R62"});
  const ProcessResult run = Update({});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("Run with --yes"), std::string::npos) << run.err;
  EXPECT_EQ(StopAndDump(*devsim), SampleFlash("Orvane-R62"));
}

TEST_F(OrvaneUpdateTest, JsonEventsParseAndEndWithTheVerdict) {
  const auto image = Image(16 * 1024, 5);
  WriteBytes(File("Orvane MR810.bin"), image);
  auto devsim = StartDevice({"--model", "Orvane MR810", "--flash-part", "C22011"});
  const ProcessResult run = Update({"--yes", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;

  std::vector<JsonValue> events;
  for (const auto &line : ParseJsonLines(run.out)) {
    ASSERT_TRUE(line) << run.out;
    ASSERT_TRUE(line->Has("event"));
    events.push_back(*line);
  }
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[0]["event"].text, "device_found");
  EXPECT_EQ(events[0]["caption"].text, "Find Device Orvane MR810");
  EXPECT_EQ(events[1]["event"].text, "file_loaded");
  EXPECT_EQ(events[1]["checksum"].number, ImageChecksum(image, static_cast<uint32_t>(image.size())));
  EXPECT_EQ(events[1]["length"].number, 16 * 1024);
  EXPECT_EQ(events.back()["event"].text, "verdict");
  EXPECT_TRUE(events.back()["success"].flag);
  EXPECT_EQ(events.back()["text"].text, "Firmware update success!");

  std::map<std::string, std::vector<double>> percents;
  for (const JsonValue &event : events)
    if (event["event"].text == "progress" && event.Has("percent"))
      percents[event["phase"].text].push_back(event["percent"].number);
  EXPECT_EQ(percents.size(), 3u);
  for (const auto &[phase, values] : percents) {
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << phase;
    EXPECT_EQ(values.back(), 100) << phase;
  }
  const auto flash = StopAndDump(*devsim);
  EXPECT_EQ(flash.size(), 128u * 1024);
  EXPECT_TRUE(HoldsOnlyImage(flash, image));
}

TEST_F(OrvaneUpdateTest, ListNamesEachDeviceAndItsFile) {
  WriteBytes(File("Orvane_R62.bin"), Image(1000, 6));
  auto r62 = StartDevice({"--model", "Orvane-R62"});
  DevsimProcess blank(runtime.Path(), {"--update-mode", "0c7e"});
  ASSERT_FALSE(blank.WaitReady().empty());
  const ProcessResult run = Update({"--list"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Find Device Orvane-R62\n  identity:    vid_3b5d&pid_f0b8 (audio driver)\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("  update file: Orvane_R62.bin, 1000 bytes, checksum 0x"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Firmware update device 0C7E is exist\n  identity:    vid_0c7e&pid_6000 (generic USB driver)"),
            std::string::npos)
      << run.out;
}

TEST_F(OrvaneUpdateTest, ReadBackWritesTheWindowsTextFile) {
  auto devsim = StartDevice({"--model", "Orvane-R61"});
  const ProcessResult run = Update({"--read-back", "flash.txt"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("Find Device Orvane-R61\nEnter ISP Mode\nRead Flash data back\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\n  Read back 100%  32.0/32.0 KiB  "), std::string::npos) << run.out;
  EXPECT_TRUE(run.out.ends_with("\nRead Flash content Success\nWrote the first 32768 bytes of flash to flash.txt\n"))
      << run.out;
  const auto text = ReadBytes(File("flash.txt"));
  const std::string expected = ReadBackText(SampleFlash("Orvane-R61"), kReadBackEnd);
  EXPECT_EQ(std::string(text.begin(), text.end()), expected);
  // The read leaves the flash as it was, and the device back in its normal mode.
  EXPECT_EQ(StopAndDump(*devsim), SampleFlash("Orvane-R61"));
}

// In a folder others write to, the read-back writes the file it was asked
// to and nothing else: a planted link is neither followed nor made a target.
TEST_F(OrvaneUpdateTest, ReadBackFollowsNoLinkPlantedInASharedFolder) {
  std::filesystem::create_directory(File("shared"));
  WriteBytes(File("victim.txt"), {'m', 'i', 'n', 'e'});
  std::filesystem::create_symlink("../victim.txt", File("shared/out.txt.part"));
  auto devsim = StartDevice({"--model", "Orvane-R61"});
  ProcessResult run = Update({"--read-back", "shared/out.txt"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadBytes(File("victim.txt")), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(File("shared/out.txt"))));
  const std::string expected = ReadBackText(SampleFlash("Orvane-R61"), kReadBackEnd);
  EXPECT_EQ(ReadBytes(File("shared/out.txt")), std::vector<uint8_t>(expected.begin(), expected.end()));

  // A link at the name itself is replaced, as mv replaces it.
  std::filesystem::remove(File("shared/out.txt"));
  std::filesystem::create_symlink("../victim.txt", File("shared/out.txt"));
  run = Update({"--read-back", "shared/out.txt"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadBytes(File("victim.txt")), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(File("shared/out.txt"))));
  devsim.reset();

  // Without a device nothing is made, not even through a link.
  std::filesystem::remove(File("victim.txt"));
  run = Update({"--read-back", "shared/out.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(File("victim.txt"))));
}

// Tried as a new user would: each file that cannot give a good update is
// refused with exit 2 and its reason before the flash is touched.
class RefusedUpdateTest : public OrvaneUpdateTest {
protected:
  // A device whose flash starts with Before() and is erased after it.
  std::unique_ptr<DevsimProcess> StartWithKnownFlash(std::vector<std::string> args) {
    WriteBytes(runtime.Path() + "/before.bin", Before());
    args.insert(args.end(), {"--flash-file", runtime.Path() + "/before.bin"});
    return StartDevice(args);
  }
  static std::vector<uint8_t> Before() { return Image(20 * 1024, 40); }

  // Exit 2, the reason on stderr and nothing on the device.
  void ExpectRefused(const std::vector<std::string> &args, const std::string &reason) {
    SCOPED_TRACE(args.back());
    const ProcessResult run = Update(args);
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Flash Erase All"), std::string::npos) << run.out;
  }
};

TEST_F(RefusedUpdateTest, BadFilesAreRefusedAndTheFlashIsExactlyAsItWas) {
  auto devsim = StartWithKnownFlash({"--model", "Orvane-R62"});

  const auto image = Image(4096, 41);
  std::string hex = sim::WriteIntelHex(image.data(), image.size());
  const size_t third = hex.find('\n', hex.find('\n') + 1) + 1;
  hex.erase(third, 1); // the colon of the third record, lost in a damaged download
  WriteBytes(File("damaged.hex"), std::vector<uint8_t>(hex.begin(), hex.end()));
  ExpectRefused({"--yes", "--file", "damaged.hex"},
                "damaged.hex was not loaded: line 3: '1' begins the line, which is no record");

  const std::string good = sim::WriteIntelHex(image.data(), image.size());
  WriteBytes(File("fw.hex.bak"), std::vector<uint8_t>(good.begin(), good.end()));
  ExpectRefused({"--yes", "--file", "fw.hex.bak"},
                "fw.hex.bak was not loaded: the file holds Intel HEX text, not a binary image");

  // Behind a byte-order mark and a comment line, HEX text is still HEX text.
  const std::string marked = "\xEF\xBB\xBF; release 2\r\n" + good;
  WriteBytes(File("fw.bin"), std::vector<uint8_t>(marked.begin(), marked.end()));
  ExpectRefused({"--yes", "--file", "fw.bin"},
                "fw.bin was not loaded: the file holds Intel HEX text, not a binary image");

  WriteBytes(File("erased.bin"), std::vector<uint8_t>(64 * 1024, 0xFF));
  ExpectRefused({"--yes", "--file", "erased.bin"}, "erased.bin was not loaded: the image holds only 0xFF bytes");

  std::filesystem::create_symlink("/dev/zero", File("zero.bin"));
  ExpectRefused({"--yes", "--file", "zero.bin"}, "zero.bin was not loaded: it is not a regular file");

  // The automatic lookup stops at a .hex that is no file, also in --list.
  WriteBytes(File("Orvane_R62.bin"), Image(1024, 42));
  std::filesystem::create_symlink("/dev/zero", File("Orvane_R62.hex"));
  ExpectRefused({"--yes"}, "Orvane_R62.hex was not loaded: it is not a regular file");
  const ProcessResult list = Update({"--list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("not a regular file"), std::string::npos) << list.out;

  EXPECT_TRUE(HoldsOnlyImage(StopAndDump(*devsim), Before()));
}

TEST_F(RefusedUpdateTest, AnImageLargerThanTheSmallPartIsRefusedBeforeTheErase) {
  auto devsim = StartWithKnownFlash({"--model", "Orvane-R62", "--flash-part", "C22011"});
  WriteBytes(File("big.bin"), Image(192 * 1024, 43));
  ExpectRefused({"--yes", "--file", "big.bin"},
                "The image (196608 bytes) is larger than the flash of this device (131072 bytes, identifier C2 22 "
                "11); nothing was erased.");
  // Its top repeating its bottom made it verify on wrapped addresses.
  auto twice = Image(128 * 1024, 44);
  twice.insert(twice.end(), twice.begin(), twice.end());
  WriteBytes(File("twice.bin"), twice);
  ExpectRefused({"--yes", "--file", "twice.bin"}, "(262144 bytes) is larger than the flash of this device");
  const auto flash = StopAndDump(*devsim);
  EXPECT_EQ(flash.size(), 128u * 1024);
  EXPECT_TRUE(HoldsOnlyImage(flash, Before()));
}

TEST_F(RefusedUpdateTest, AnUpdateModeDeviceIsNotUpdatedUnattendedWithTheFirstModelsFile) {
  auto devsim = StartWithKnownFlash({"--update-mode", "3b5d"});
  WriteBytes(File("Orvane_Summit.bin"), Image(2048, 45));
  ExpectRefused({"--yes"}, "Firmware update device 3B5D is exist: a device in firmware-update mode does not say "
                           "which model it is, so --yes does not program it with Orvane_Summit.bin");
  EXPECT_TRUE(HoldsOnlyImage(StopAndDump(*devsim), Before()));
}

TEST_F(OrvaneUpdateTest, HelpAndUsageErrors) {
  ProcessResult run = Update({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("orvane-update: updates the firmware", 0), 0u);
  run = Update({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string("orvane-update ") + kProgramVersion + "\n");
  EXPECT_EQ(run.err, "");
  run = Update({"--wait", "later"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "orvane-update: --wait takes whole seconds from 0 to 86400, not 'later' (see orvane-update "
                     "--help)\n");
  run = Update({"--json", "--bogus"});
  EXPECT_EQ(run.status, 2);
  const auto error = JsonReader::Parse(run.out.substr(0, run.out.find('\n')));
  ASSERT_TRUE(error) << run.out;
  EXPECT_EQ((*error)["kind"].text, "usage");
}

} // namespace
} // namespace orvane::cli_test
