// The per-device lock between programs: a second process is refused at
// once and told who holds the device, and a holder that dies never leaves
// the device locked.

#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/DeviceLock.h"
#include "usb/VantrelUsb.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace orvane {
namespace {

class DeviceLockTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-lock-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    directory = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(directory); }

  // What a second process sees when it tries the lock: its exit status is
  // the outcome, and the holder it was told goes through a pipe.
  struct Other {
    DeviceLock::Outcome outcome;
    pid_t holder;
  };
  Other TryInAnotherProcess(const std::string &key) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      DeviceLock lock;
      const auto outcome = lock.TryAcquire(directory, key);
      const pid_t holder = lock.HolderPid();
      const ssize_t ignored = ::write(fds[1], &holder, sizeof holder);
      (void)ignored;
      ::_exit(static_cast<int>(outcome));
    }
    ::close(fds[1]);
    pid_t holder = 0;
    EXPECT_EQ(::read(fds[0], &holder, sizeof holder), static_cast<ssize_t>(sizeof holder));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {static_cast<DeviceLock::Outcome>(WEXITSTATUS(status)), holder};
  }

  std::string directory;
};

TEST_F(DeviceLockTest, ASecondProcessIsRefusedWithTheHoldersIdUntilItIsReleased) {
  DeviceLock lock;
  ASSERT_EQ(lock.TryAcquire(directory, "vusb.r62"), DeviceLock::Outcome::Acquired);
  EXPECT_EQ(lock.TryAcquire(directory, "vusb.r62"), DeviceLock::Outcome::Acquired) << "held here already";

  const Other refused = TryInAnotherProcess("vusb.r62");
  EXPECT_EQ(refused.outcome, DeviceLock::Outcome::Busy);
  EXPECT_EQ(refused.holder, ::getpid());
  // Another device is not this one.
  EXPECT_EQ(TryInAnotherProcess("vusb.r61").outcome, DeviceLock::Outcome::Acquired);

  lock.Release();
  EXPECT_EQ(TryInAnotherProcess("vusb.r62").outcome, DeviceLock::Outcome::Acquired);
}

TEST_F(DeviceLockTest, AHolderThatDiesLeavesNoLockBehind) {
  const pid_t child = ::fork();
  if (child == 0) {
    DeviceLock lock;
    if (lock.TryAcquire(directory, "usb.1-4.2") != DeviceLock::Outcome::Acquired)
      ::_exit(1);
    ::abort(); // no release, no destructor
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  DeviceLock lock;
  EXPECT_EQ(lock.TryAcquire(directory, "usb.1-4.2"), DeviceLock::Outcome::Acquired);
}

TEST_F(DeviceLockTest, FileNamesKeepOnlySafeCharactersAndLinksAreNotFollowed) {
  EXPECT_EQ(DeviceLock::FileName("usb.1-4.2"), "orvane-device-usb.1-4.2.lock");
  EXPECT_EQ(DeviceLock::FileName("../x/y"), "orvane-device-.._x_y.lock");

  const std::string target = directory + "/elsewhere";
  ASSERT_EQ(::symlink(target.c_str(), (directory + "/" + DeviceLock::FileName("linked")).c_str()), 0);
  DeviceLock lock;
  EXPECT_EQ(lock.TryAcquire(directory, "linked"), DeviceLock::Outcome::Failed);
  EXPECT_NE(lock.Error().find("linked"), std::string::npos) << lock.Error();
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(DeviceLockTest, TheDeviceObjectOpensOnlyWhileNoOtherProgramHoldsTheDevice) {
  ScriptedDevice dongle{test::Identity(0x3B5D, 0x6000)};
  SimulatedDeviceStack devices;
  devices.Plug("isp", dongle);
  VantrelUsb usb(devices.bus);
  ASSERT_TRUE(usb.SetTarget("vid_3b5d&pid_6000"));
  static_cast<void>(usb.FindDevice()); // the assertion after it checks IsFound()
  ASSERT_TRUE(usb.IsFound());
  const std::string key = VantrelUsb::LockKey(usb.DevicePath());
  EXPECT_EQ(key, "mem.isp");
  usb.UseDeviceLocks(directory);

  {
    DeviceLockHold hold(usb);
    ASSERT_TRUE(hold);
    ASSERT_TRUE(usb.Open());
    usb.Close();
    // Closed between two steps, still held.
    EXPECT_EQ(TryInAnotherProcess(key).outcome, DeviceLock::Outcome::Busy);
  }
  EXPECT_EQ(TryInAnotherProcess(key).outcome, DeviceLock::Outcome::Acquired);

  // Held by another process: nothing opens, and the reason names it.
  int ready[2];
  int done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    ::close(done[1]); // so the parent's close ends the read below
    DeviceLock lock;
    const bool held = lock.TryAcquire(directory, key) == DeviceLock::Outcome::Acquired;
    const ssize_t written = ::write(ready[1], &held, sizeof held);
    char byte = 0;
    const ssize_t read = ::read(done[0], &byte, 1);
    ::_exit(written == sizeof held && read >= 0 ? 0 : 1);
  }
  bool held = false;
  ASSERT_EQ(::read(ready[0], &held, sizeof held), static_cast<ssize_t>(sizeof held));
  ASSERT_TRUE(held);
  EXPECT_FALSE(usb.Open());
  EXPECT_EQ(usb.LastError(), "device busy: another update is running (pid " + std::to_string(holder) + ")");
  EXPECT_EQ(usb.LastDeviceError().kind, DeviceErrorKind::Busy);
  EXPECT_FALSE(DeviceLockHold(usb));
  EXPECT_FALSE(usb.HasHandle());
  ::close(done[1]);
  int status = 0;
  ::waitpid(holder, &status, 0);
  for (const int fd : {ready[0], ready[1], done[0]})
    ::close(fd);
  EXPECT_TRUE(usb.Open());
}

} // namespace
} // namespace orvane
