// orvane-update --all against several vantrel-devsim devices, in real time
// through the virtual USB sockets.

#include "cli_json_reader.h"
#include "cli_process.h"
#include "image_test_files.h"
#include "sim_devsim_process.h"
#include "testing/FlashChecks.h"
#include "usb/DeviceLock.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

namespace orvane::cli_test {
namespace {

using sim::test::DevsimProcess;
using sim::test::TempDirectory;

std::vector<uint8_t> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class UpdateAllTest : public ::testing::Test {
protected:
  UpdateAllTest() {
    std::filesystem::create_directory(work());
    std::ofstream out(work() + "/Orvane_R62.bin", std::ios::binary);
    out.write(reinterpret_cast<const char *>(image.data()), static_cast<std::streamsize>(image.size()));
  }

  std::string work() const { return runtime.Path() + "/work"; }
  std::string Dump(const std::string &name) const { return runtime.Path() + "/" + name + ".bin"; }

  // devices: how many the arguments publish.
  std::unique_ptr<DevsimProcess> Start(std::vector<std::string> args, size_t devices) {
    auto devsim = std::make_unique<DevsimProcess>(runtime.Path(), args);
    EXPECT_FALSE(devsim->WaitReady(10'000, devices).empty());
    return devsim;
  }

  static void Stop(DevsimProcess &devsim) {
    devsim.Signal(SIGTERM);
    EXPECT_EQ(devsim.Wait(), 0);
  }

  ProcessResult Update(const std::vector<std::string> &args, int timeoutMs = 20'000) {
    return RunOrvaneUpdate(args, runtime.Path(), work(), timeoutMs);
  }

  static std::map<std::string, std::string> Outcomes(const std::string &out) {
    std::map<std::string, std::string> outcomes;
    for (const auto &line : ParseJsonLines(out)) {
      EXPECT_TRUE(line) << out;
      if (line && (*line)["event"].text == "summary" && line->Has("location"))
        outcomes[(*line)["location"].text] = (*line)["outcome"].text;
    }
    return outcomes;
  }

  TempDirectory runtime;
  const std::vector<uint8_t> image = image_test::RandomBytes(24 * 1024, 21);
};

TEST_F(UpdateAllTest, FourDevicesAreUpdatedAtOnceAndEachFlashEqualsTheImage) {
  // Three devices in one process and one in another, side by side.
  auto three = Start({"--count", "3", "--name", "bench", "--speed", "1000", "--dump-flash", Dump("bench")}, 3);
  auto fourth = Start({"--name", "solo", "--speed", "1000", "--dump-flash", Dump("solo")}, 1);

  const ProcessResult list = Update({"--list"});
  EXPECT_EQ(list.status, 0);
  for (const char *location : {"bench-1, serial VXUA170203-1", "bench-2", "bench-3", "solo, serial VXUA170203"})
    EXPECT_NE(list.out.find(std::string("  location:    ") + location), std::string::npos) << list.out;
  const ProcessResult refused = Update({"--yes"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("4 supported devices are attached"), std::string::npos) << refused.err;

  const ProcessResult run = Update({"--all", "--yes"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Summary: 4 devices, 4 updated, 0 failed, 0 left alone\n"), std::string::npos) << run.out;
  for (const char *location : {"bench-1", "bench-2", "bench-3", "solo"})
    EXPECT_NE(run.out.find(std::string("  ") + location), std::string::npos) << run.out;
  Stop(*three);
  Stop(*fourth);
  for (const std::string &dump : {Dump("bench") + ".1", Dump("bench") + ".2", Dump("bench") + ".3", Dump("solo")})
    EXPECT_TRUE(HoldsOnlyImage(ReadBytes(dump), image)) << dump;
}

TEST_F(UpdateAllTest, ADeviceUnpluggedMidUpdateFailsAloneWhileTheOthersSucceed) {
  auto devsim = Start({"--name", "a", "--speed", "1000", "--dump-flash", Dump("a"),          "--next",
                       "--name", "b", "--speed", "1000", "--fault",      "unplug-after:600", "--next",
                       "--name", "c", "--speed", "1000", "--dump-flash", Dump("c")},
                      3);
  // The gone device gets its verdict at once; the others go on to theirs.
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult run = Update({"--all", "--yes", "--json"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_EQ(Outcomes(run.out),
            (std::map<std::string, std::string>{{"a", "success"}, {"b", "failed"}, {"c", "success"}}));
  std::map<std::string, std::string> verdicts;
  for (const auto &line : ParseJsonLines(run.out))
    if (line && (*line)["event"].text == "verdict")
      verdicts[(*line)["location"].text] =
          (*line)["text"].text + ((*line)["reason"].text.empty() ? "" : " " + (*line)["reason"].text);
  EXPECT_EQ(verdicts, (std::map<std::string, std::string>{{"a", "Firmware update success!"},
                                                          {"b", "Firmware update Fail! the device was disconnected"},
                                                          {"c", "Firmware update success!"}}))
      << run.out;
  Stop(*devsim);
  EXPECT_TRUE(HoldsOnlyImage(ReadBytes(Dump("a")), image));
  EXPECT_TRUE(HoldsOnlyImage(ReadBytes(Dump("c")), image));
}

// Another program holds one device: that one is left alone as busy, the
// others are updated all the same.
TEST_F(UpdateAllTest, ADeviceAnotherProgramHoldsIsLeftAloneAndTheOthersAreUpdated) {
  auto devsim = Start({"--count", "3", "--name", "dev", "--speed", "1000", "--dump-flash", Dump("dev")}, 3);
  DeviceLock other;
  const std::string lockFile = runtime.Path() + "/vantrel-vusb/dev-2.lock";
  ASSERT_EQ(other.TryAcquireIn(AT_FDCWD, lockFile, lockFile), DeviceLock::Outcome::Acquired);

  const ProcessResult run = Update({"--all", "--yes", "--json"});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_EQ(Outcomes(run.out), (std::map<std::string, std::string>{
                                   {"dev-1", "success"}, {"dev-2", "nothing_done"}, {"dev-3", "success"}}));
  bool busyTold = false;
  for (const auto &line : ParseJsonLines(run.out))
    busyTold = busyTold || (line && (*line)["event"].text == "error" && (*line)["kind"].text == "device_busy" &&
                            (*line)["location"].text == "dev-2" &&
                            (*line)["message"].text ==
                                "device busy: another update is running (pid " + std::to_string(::getpid()) + ")");
  EXPECT_TRUE(busyTold) << run.out;
  Stop(*devsim);
  EXPECT_TRUE(HoldsOnlyImage(ReadBytes(Dump("dev") + ".1"), image));
  EXPECT_FALSE(HoldsOnlyImage(ReadBytes(Dump("dev") + ".2"), image));
  EXPECT_TRUE(HoldsOnlyImage(ReadBytes(Dump("dev") + ".3"), image));
}

TEST_F(UpdateAllTest, WithWaitItServesADevicePluggedInWhileOthersRun) {
  auto first = Start({"--name", "first", "--speed", "1000", "--dump-flash", Dump("first")}, 1);
  std::unique_ptr<DevsimProcess> later;
  std::thread plug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    later = Start({"--name", "later", "--speed", "1000", "--dump-flash", Dump("later")}, 1);
  });
  const ProcessResult run = Update({"--all", "--yes", "--wait", "2", "--json"});
  plug.join();
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(Outcomes(run.out), (std::map<std::string, std::string>{{"first", "success"}, {"later", "success"}}));
  Stop(*first);
  ASSERT_TRUE(later);
  Stop(*later);
  EXPECT_TRUE(HoldsOnlyImage(ReadBytes(Dump("first")), image));
  EXPECT_TRUE(HoldsOnlyImage(ReadBytes(Dump("later")), image));
}

TEST_F(UpdateAllTest, DevsimRefusesTwoDevicesOfTheSameName) {
  for (const auto &args :
       {std::vector<std::string>{"--next"}, std::vector<std::string>{"--name", "x", "--next", "--name", "x"},
        std::vector<std::string>{"--next", "--dir", "/tmp"}}) {
    DevsimProcess devsim(runtime.Path(), args);
    EXPECT_EQ(devsim.Wait(), 2) << args.size();
  }
}

} // namespace
} // namespace orvane::cli_test
