// Where the read-back's rows go on a file system others can write to: a
// temporary file made afresh beside the target and renamed over it, so
// nothing planted there is followed and a failed write changes nothing.

#include "isp/ReadBackFile.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace orvane {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Flash() {
  std::vector<uint8_t> bytes(0x8000);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  return bytes;
}

std::string Text(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path &file, const std::string &text) {
  std::ofstream(file, std::ios::binary) << text;
}

class ReadBackFileSafetyTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-read-back-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root = pattern;
    shared = root / "shared";
    fs::create_directory(shared);
    Write(victim(), "the victim's own text");
  }
  void TearDown() override { fs::remove_all(root); }

  fs::path victim() const { return root / "victim.txt"; }
  std::string Target() const { return (shared / "out.txt").string(); }
  std::set<std::string> SharedEntries() const {
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(shared))
      names.insert(entry.path().filename().string());
    return names;
  }

  fs::path root, shared;
  const std::vector<uint8_t> flash = Flash();
};

TEST_F(ReadBackFileSafetyTest, APlantedPartLinkBesideTheTargetIsNeverFollowed) {
  fs::create_symlink("../victim.txt", shared / "out.txt.part");
  std::string error;
  ASSERT_TRUE(WriteReadBackFile(Target(), flash, 0x8000, &error)) << error;
  EXPECT_EQ(Text(victim()), "the victim's own text");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Target())));
  EXPECT_EQ(Text(Target()), ReadBackText(flash, 0x8000));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(shared / "out.txt.part"))) << "left as it was";
  EXPECT_EQ(SharedEntries(), (std::set<std::string>{"out.txt", "out.txt.part"})) << "no temporary file stays";
}

TEST_F(ReadBackFileSafetyTest, ALinkAtTheTargetIsReplacedNotFollowed) {
  fs::create_symlink("../victim.txt", Target());
  std::string error;
  ASSERT_TRUE(WriteReadBackFile(Target(), flash, 16, &error)) << error;
  EXPECT_EQ(Text(victim()), "the victim's own text");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Target())));
  EXPECT_EQ(Text(Target()), ReadBackText(flash, 16));
}

// A write that cannot finish (here: a file size limit, as a full disk would
// do) leaves the earlier file and no temporary file behind.
TEST_F(ReadBackFileSafetyTest, AFailedWriteKeepsTheEarlierFileAndLeavesNothingBehind) {
  Write(Target(), "earlier read-back");
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    const bool written = WriteReadBackFile(Target(), flash, 0x8000, &error);
    ::_exit(!written && error.rfind("Cannot write " + Target() + ": ", 0) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "refused with the reason";
  EXPECT_EQ(Text(Target()), "earlier read-back");
  EXPECT_EQ(SharedEntries(), std::set<std::string>{"out.txt"});
}

// The look before the device is touched makes nothing, not even through a
// link at the target.
TEST_F(ReadBackFileSafetyTest, TheCheckBeforeTheReadMakesNothing) {
  fs::remove(victim());
  fs::create_symlink("../victim.txt", Target());
  EXPECT_EQ(ReadBackTargetRefusal(Target()), "");
  EXPECT_FALSE(fs::exists(fs::symlink_status(victim())));
  EXPECT_EQ(SharedEntries(), std::set<std::string>{"out.txt"});

  EXPECT_EQ(ReadBackTargetRefusal((root / "missing" / "out.txt").string()),
            "its folder " + (root / "missing").string() + " does not exist");
  EXPECT_FALSE(fs::exists(root / "missing"));
  EXPECT_EQ(ReadBackTargetRefusal(shared.string()), "it is a folder, not a file");
  EXPECT_EQ(ReadBackTargetRefusal(shared.string() + "/"), "it is a folder, not a file");
  std::string error;
  EXPECT_FALSE(WriteReadBackFile(shared.string(), flash, 16, &error));
  EXPECT_EQ(error, "Cannot write " + shared.string() + ": it is a folder, not a file");
}

TEST_F(ReadBackFileSafetyTest, ADeviceIsWrittenAsItIsAndAPipeIsRefused) {
  std::string error;
  EXPECT_TRUE(WriteReadBackFile("/dev/null", flash, 0x8000, &error)) << error;
  ASSERT_EQ(::mkfifo(Target().c_str(), 0600), 0);
  EXPECT_FALSE(WriteReadBackFile(Target(), flash, 16, &error)) << "nobody may be reading: never waited for";
  EXPECT_EQ(error, "Cannot write " + Target() + ": it is a pipe, socket or block device, not a file");
}

} // namespace
} // namespace orvane
