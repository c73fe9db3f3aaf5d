// The per-device lock between programs: a second process is refused at
// once and told who holds the device, a holder that dies never leaves the
// device locked, every program meets the same lock whatever its
// environment, and a lock that cannot be taken keeps everyone off.

#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/DeviceLock.h"
#include "usb/EmulatedDriverBus.h"
#include "usb/VantrelUsb.h"
#include "usb/VirtualUsbServer.h"
#include "usb/VirtualUsbTransport.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

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

// What a child process's function returned, as its exit status.
int InAnotherProcess(const std::function<int()> &run) {
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(run());
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// How a program's device object came out of taking the device's lock.
enum class Taken { Held = 10, Busy, LockFailed, Other };

Taken HoldOutcome(VantrelUsb &usb) {
  if (usb.HoldDeviceLock())
    return Taken::Held;
  switch (usb.LastDeviceError().kind) {
  case DeviceErrorKind::Busy:
    return Taken::Busy;
  case DeviceErrorKind::LockFailed:
    return Taken::LockFailed;
  default:
    return Taken::Other;
  }
}

// XDG_RUNTIME_DIR as a program started elsewhere would have it, for the
// life of the object.
class RuntimeDirectory {
public:
  explicit RuntimeDirectory(const std::string &path) {
    if (const char *old = std::getenv("XDG_RUNTIME_DIR"))
      saved_ = old;
    std::filesystem::create_directories(path);
    ::setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
  }
  ~RuntimeDirectory() {
    if (saved_)
      ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
  }
  RuntimeDirectory(const RuntimeDirectory &) = delete;
  RuntimeDirectory &operator=(const RuntimeDirectory &) = delete;

private:
  std::optional<std::string> saved_;
};

// A virtual Orvane-R62 served from the folder on a thread of its own.
class ServedR62 {
public:
  ServedR62(const std::string &folder) : server_(device_, "r62", folder) {
    started_ = server_.Start(&error_);
    if (started_)
      thread_ = std::thread([this] { server_.Run(stop_); });
  }
  ~ServedR62() {
    stop_ = true;
    if (thread_.joinable())
      thread_.join();
    server_.Stop();
  }
  bool Started() const { return started_; }
  const std::string &Error() const { return error_; }

private:
  ScriptedDevice device_{test::Identity(0x3B5D, 0xF0B8, true)};
  VirtualUsbServer server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  bool started_ = false;
  std::string error_;
};

// The device side of a program as it starts: the virtual devices of the
// folder behind the emulated drivers, locks where the program puts them,
// the Orvane-R62 found.
struct ProgramOnVirtualDevices {
  explicit ProgramOnVirtualDevices(const std::string &folder) : transport(folder) {
    bus.AddTransport(transport);
    usb.UseDeviceLocks(DeviceLock::DefaultDirectory());
    usb.SetAudioDriver(true);
    found = usb.SetTarget("vid_3b5d&pid_f0b8") && (static_cast<void>(usb.FindDevice()), usb.IsFound());
  }
  VirtualUsbTransport transport;
  EmulatedDriverBus bus;
  VantrelUsb usb{bus};
  bool found = false;
};

class DeviceLockPlaceTest : public DeviceLockTest {
protected:
  std::string devices() const { return directory + "/vantrel-vusb"; }
  std::string lockFile() const { return devices() + "/r62.lock"; }
};

// A program started with sudo, from cron or in a desktop session sees
// another runtime folder; the device is the same, and so is its lock.
TEST_F(DeviceLockPlaceTest, TwoProgramsWithDifferentRuntimeFoldersMeetOnOneVirtualDevice) {
  ServedR62 r62(devices());
  ASSERT_TRUE(r62.Started()) << r62.Error();
  auto first = std::make_unique<RuntimeDirectory>(directory + "/session");
  ProgramOnVirtualDevices program(devices());
  ASSERT_TRUE(program.found);
  ASSERT_TRUE(program.usb.HoldDeviceLock()) << program.usb.LastError();
  first.reset();

  const auto second = [this] {
    const RuntimeDirectory other(directory + "/cron");
    ProgramOnVirtualDevices another(devices());
    return another.found ? static_cast<int>(HoldOutcome(another.usb)) : 1;
  };
  EXPECT_EQ(InAnotherProcess(second), static_cast<int>(Taken::Busy));
  EXPECT_TRUE(std::filesystem::is_regular_file(lockFile())) << "beside the device's socket";

  program.usb.ReleaseDeviceLock();
  EXPECT_EQ(InAnotherProcess(second), static_cast<int>(Taken::Held));
}

// Whatever stands at the lock's place instead of a lock file makes the
// action refuse, with the reason, and is neither followed nor changed.
TEST_F(DeviceLockPlaceTest, ALinkOrFolderAtAVirtualDevicesLockRefusesTheDevice) {
  ServedR62 r62(devices());
  ASSERT_TRUE(r62.Started()) << r62.Error();
  const std::string target = directory + "/elsewhere";
  for (const bool link : {true, false}) {
    SCOPED_TRACE(link ? "link" : "folder");
    if (link)
      ASSERT_EQ(::symlink(target.c_str(), lockFile().c_str()), 0);
    else
      ASSERT_TRUE(std::filesystem::create_directory(lockFile()));
    ProgramOnVirtualDevices program(devices());
    ASSERT_TRUE(program.found);
    EXPECT_EQ(HoldOutcome(program.usb), Taken::LockFailed);
    EXPECT_EQ(program.usb.LastError().rfind("cannot use the device lock " + lockFile() + ": ", 0), 0u)
        << program.usb.LastError();
    EXPECT_FALSE(program.usb.Open());
    EXPECT_FALSE(program.usb.HasHandle());
    EXPECT_FALSE(std::filesystem::exists(target));
    std::filesystem::remove(lockFile());
  }
  ProgramOnVirtualDevices program(devices());
  EXPECT_TRUE(program.usb.Open()) << program.usb.LastError();
}

// A device without a lock file of its own is locked by name in the lock
// folder; what others put there can make the action refuse, never let two
// programs at the device.
TEST_F(DeviceLockTest, WhatOthersPutAtTheLocksPlaceRefusesTheDeviceAndIsNotFollowed) {
  ScriptedDevice dongle{test::Identity(0x3B5D, 0x6000)};
  SimulatedDeviceStack stack;
  stack.Plug("isp", dongle);
  VantrelUsb usb(stack.bus);
  ASSERT_TRUE(usb.SetTarget("vid_3b5d&pid_6000"));
  static_cast<void>(usb.FindDevice()); // the assertion after it checks IsFound()
  ASSERT_TRUE(usb.IsFound());
  usb.UseDeviceLocks(directory);
  const std::string lockFile = directory + "/" + DeviceLock::FileName(VantrelUsb::LockKey(usb.DevicePath()));
  const std::string target = directory + "/victim";

  const auto refused = [&](const std::string &why) {
    EXPECT_FALSE(usb.Open()) << why;
    EXPECT_FALSE(usb.HasHandle());
    EXPECT_EQ(usb.LastDeviceError().kind, DeviceErrorKind::LockFailed);
    EXPECT_NE(usb.LastError().find(lockFile), std::string::npos) << usb.LastError();
    EXPECT_NE(usb.LastError().find(why), std::string::npos) << usb.LastError();
    EXPECT_FALSE(DeviceLockHold(usb));
    std::filesystem::remove(lockFile);
  };
  ASSERT_EQ(::symlink(target.c_str(), lockFile.c_str()), 0);
  refused("it is a symbolic link");
  EXPECT_FALSE(std::filesystem::exists(target));
  ASSERT_TRUE(std::filesystem::create_directory(lockFile));
  refused("Is a directory");
  ASSERT_EQ(::mkfifo(lockFile.c_str(), 0600), 0);
  refused("it is not a regular file");
  {
    std::ofstream victim(target);
    victim << "keep";
  }
  ASSERT_EQ(::link(target.c_str(), lockFile.c_str()), 0);
  refused("it has more than one name");
  EXPECT_EQ(std::filesystem::file_size(target), 4u);

  // A lock file another user made before: as root the file opens, as an
  // ordinary user it does not; either way the device is refused.
  const int planted = ::open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(planted, 0);
  ::close(planted);
  ASSERT_EQ(::chown(lockFile.c_str(), 65534, 65534), ::geteuid() == 0 ? 0 : -1);
  if (::geteuid() == 0)
    refused("it belongs to another user");
  else
    std::filesystem::remove(lockFile);

  EXPECT_TRUE(usb.Open()) << usb.LastError();
  usb.Close();
}

// A device that came back under a new node is locked there before the
// old node is let go: no other program finds either free in between.
TEST_F(DeviceLockTest, ALockMovesToAnotherFileWithoutAGap) {
  const auto opened = [this](const char *name) {
    return ::open((directory + "/" + name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  };
  DeviceLock lock;
  ASSERT_EQ(lock.TryAcquireOpened(opened("node-5"), "node-5"), DeviceLock::Outcome::Acquired);
  EXPECT_EQ(lock.TryAcquireOpened(opened("node-5"), "node-5"), DeviceLock::Outcome::Acquired)
      << "the same file again is the lock held";
  const auto othersTake = [&](const char *name) {
    return InAnotherProcess([&] {
      DeviceLock other;
      return static_cast<int>(other.TryAcquireOpened(opened(name), name));
    });
  };
  EXPECT_EQ(othersTake("node-5"), static_cast<int>(DeviceLock::Outcome::Busy));

  ASSERT_EQ(lock.TryAcquireOpened(opened("node-6"), "node-6"), DeviceLock::Outcome::Acquired);
  EXPECT_EQ(othersTake("node-6"), static_cast<int>(DeviceLock::Outcome::Busy));
  EXPECT_EQ(othersTake("node-5"), static_cast<int>(DeviceLock::Outcome::Acquired)) << "the old one is let go";

  // Refused on a file another process holds, it keeps the one it holds.
  int ready[2];
  int done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    ::close(done[1]);
    DeviceLock other;
    const bool held = other.TryAcquireOpened(opened("node-7"), "node-7") == DeviceLock::Outcome::Acquired;
    char byte = 0;
    const bool told = ::write(ready[1], &held, sizeof held) == sizeof held;
    ::_exit(told && ::read(done[0], &byte, 1) >= 0 ? 0 : 1);
  }
  bool held = false;
  ASSERT_EQ(::read(ready[0], &held, sizeof held), static_cast<ssize_t>(sizeof held));
  ASSERT_TRUE(held);
  EXPECT_EQ(lock.TryAcquireOpened(opened("node-7"), "node-7"), DeviceLock::Outcome::Busy);
  EXPECT_EQ(lock.HolderPid(), holder);
  EXPECT_TRUE(lock.Held());
  EXPECT_EQ(othersTake("node-6"), static_cast<int>(DeviceLock::Outcome::Busy));
  ::close(done[1]);
  int status = 0;
  ::waitpid(holder, &status, 0);
  for (const int fd : {ready[0], ready[1], done[0]})
    ::close(fd);
}

// Another program holding the lock of key in directory, as long as the object lives.
class HeldByAnotherProcess {
public:
  HeldByAnotherProcess(const std::string &directory, const std::string &key) {
    if (::pipe(ready_) != 0 || ::pipe(done_) != 0)
      return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(done_[1]); // the parent's close then ends the read below
      DeviceLock lock;
      const bool held = lock.TryAcquire(directory, key) == DeviceLock::Outcome::Acquired;
      char byte = 0;
      const bool told = ::write(ready_[1], &held, sizeof held) == sizeof held;
      ::_exit(told && ::read(done_[0], &byte, 1) >= 0 ? 0 : 1);
    }
    held_ = pid_ > 0 && ::read(ready_[0], &held_, sizeof held_) == static_cast<ssize_t>(sizeof held_) && held_;
  }
  ~HeldByAnotherProcess() {
    ::close(done_[1]);
    if (pid_ > 0) {
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    for (const int fd : {ready_[0], ready_[1], done_[0]})
      ::close(fd);
  }
  HeldByAnotherProcess(const HeldByAnotherProcess &) = delete;
  HeldByAnotherProcess &operator=(const HeldByAnotherProcess &) = delete;

  bool Held() const { return held_; }
  pid_t Pid() const { return pid_; }

private:
  int ready_[2] = {-1, -1};
  int done_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool held_ = false;
};

// A device that comes back at another place is under another lock: while
// another program holds that one, the update does not take the device back.
TEST_F(DeviceLockTest, ADeviceBackAtAnotherPlaceIsNotReopenedWhileAnotherProgramHoldsIt) {
  UsbDeviceInfo identity = test::Identity(0x3B5D, 0x6000);
  identity.serial = "SN-7";
  ScriptedDevice dongle{identity};
  SimulatedDeviceStack devices;
  devices.Plug("port1", dongle);
  VantrelUsb usb(devices.bus);
  ASSERT_TRUE(usb.SetTarget("vid_3b5d&pid_6000"));
  static_cast<void>(usb.FindDevice()); // the assertion after it checks IsFound()
  ASSERT_TRUE(usb.IsFound());
  usb.UseDeviceLocks(directory);
  DeviceLockHold hold(usb);
  ASSERT_TRUE(hold);
  ASSERT_TRUE(usb.Open());
  const std::optional<DevicePin> pin = usb.Pin();
  ASSERT_TRUE(pin);
  ASSERT_TRUE(pin->serialIsUnique);

  devices.Unplug("port1");
  devices.Plug("port2", dongle);
  const HeldByAnotherProcess other(directory, "mem.port2");
  ASSERT_TRUE(other.Held());

  EXPECT_EQ(usb.ReopenPinned(*pin), VantrelUsb::ReopenOutcome::Refused);
  EXPECT_EQ(usb.LastError(), "device busy: another update is running (pid " + std::to_string(other.Pid()) + ")");
  EXPECT_FALSE(usb.HasHandle());
}

// The lock folder is the same for every program: no environment moves it.
TEST(DeviceLockFolderTest, TheFolderDoesNotFollowTheEnvironment) {
  const std::string before = DeviceLock::DefaultDirectory();
  {
    const RuntimeDirectory elsewhere("/tmp/orvane-lock-folder-test");
    EXPECT_EQ(DeviceLock::DefaultDirectory(), before);
  }
  std::filesystem::remove("/tmp/orvane-lock-folder-test");
  EXPECT_EQ(before, "/run/lock");
}

} // namespace
} // namespace orvane
