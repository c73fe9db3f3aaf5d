// The device lock of the Windows build on the real file calls: one holder
// at a time, also within one process, in a folder of any name, and a lock
// that cannot be taken is refused with the reason.

#include "usb/DeviceLock.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

namespace orvane {
namespace {

std::filesystem::path FromUtf8(const std::string &text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8(const std::filesystem::path &path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

class WindowsDeviceLockTest : public ::testing::Test {
protected:
  WindowsDeviceLockTest() {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
  }
  ~WindowsDeviceLockTest() override { std::filesystem::remove_all(root); }

  const std::filesystem::path root = std::filesystem::temp_directory_path() / "orvane-lock-test";
};

TEST_F(WindowsDeviceLockTest, TwoLocksInOneProcessAreOneHolderAtATime) {
  const std::string directory = Utf8(root);
  DeviceLock first;
  DeviceLock second;
  ASSERT_EQ(first.TryAcquire(directory, "vusb.r62"), DeviceLock::Outcome::Acquired) << first.Error();
  EXPECT_EQ(second.TryAcquire(directory, "vusb.r62"), DeviceLock::Outcome::Busy) << second.Error();
  EXPECT_EQ(second.HolderPid(), static_cast<pid_t>(::GetCurrentProcessId()));
  EXPECT_EQ(second.BusyMessage(),
            "device busy: another update is running (pid " + std::to_string(::GetCurrentProcessId()) + ")");
  EXPECT_FALSE(second.Held());
  // Another device is free all the while.
  DeviceLock other;
  EXPECT_EQ(other.TryAcquire(directory, "vusb.r61"), DeviceLock::Outcome::Acquired) << other.Error();
  // Let go, the device is free again at once.
  first.Release();
  EXPECT_EQ(second.TryAcquire(directory, "vusb.r62"), DeviceLock::Outcome::Acquired) << second.Error();
  EXPECT_EQ(first.TryAcquire(directory, "vusb.r62"), DeviceLock::Outcome::Busy);
}

TEST_F(WindowsDeviceLockTest, AFolderWithANonAsciiNameHoldsTheLock) {
  const std::filesystem::path folder = root / FromUtf8("J\xC3\xBCrgen \xE6\x97\xA5\xE6\x9C\xAC");
  const std::string directory = Utf8(folder);
  DeviceLock lock;
  ASSERT_EQ(lock.TryAcquire(directory, "usb.5&1a2b3c4d&0&2"), DeviceLock::Outcome::Acquired) << lock.Error();
  // The folder was made under its own name, and the lock file lies in it.
  EXPECT_TRUE(std::filesystem::is_regular_file(folder / DeviceLock::FileName("usb.5&1a2b3c4d&0&2")));
  DeviceLock again;
  EXPECT_EQ(again.TryAcquire(directory, "usb.5&1a2b3c4d&0&2"), DeviceLock::Outcome::Busy);
}

TEST_F(WindowsDeviceLockTest, ALockThatCannotBeTakenIsRefusedWithTheReason) {
  DeviceLock lock;
  EXPECT_EQ(lock.TryAcquire("relative\\folder", "vusb.r62"), DeviceLock::Outcome::Failed);
  EXPECT_EQ(lock.Error(), "cannot use the device lock relative\\folder\\orvane-device-vusb.r62.lock: its folder is "
                          "not an absolute path");
  EXPECT_FALSE(lock.Held());

  // A folder whose parent is missing cannot be made: the open fails and says why.
  const std::string missing = Utf8(root / "missing" / "deeper");
  EXPECT_EQ(lock.TryAcquire(missing, "vusb.r62"), DeviceLock::Outcome::Failed);
  EXPECT_EQ(lock.Error().rfind("cannot use the device lock " + missing + "\\orvane-device-vusb.r62.lock: ", 0), 0u)
      << lock.Error();
  EXPECT_NE(lock.Error().find("(error 3)"), std::string::npos) << lock.Error();

  // A folder in the lock file's place.
  std::filesystem::create_directories(root / DeviceLock::FileName("vusb.r62"));
  EXPECT_EQ(lock.TryAcquire(Utf8(root), "vusb.r62"), DeviceLock::Outcome::Failed);
  EXPECT_FALSE(lock.Error().empty());
  EXPECT_FALSE(lock.Held());
}

TEST_F(WindowsDeviceLockTest, TheDefaultFolderIsTheHostWideProgramDataNotTheUsersOwn) {
  const std::string directory = DeviceLock::DefaultDirectory();
  wchar_t programData[MAX_PATH] = {};
  ASSERT_GT(::GetEnvironmentVariableW(L"ProgramData", programData, MAX_PATH), 0u);
  EXPECT_EQ(FromUtf8(directory), std::filesystem::path(programData) / "Orvane");
  wchar_t localAppData[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"LOCALAPPDATA", localAppData, MAX_PATH) > 0) {
    EXPECT_EQ(directory.find(Utf8(localAppData)), std::string::npos) << directory;
  }
  DeviceLock lock;
  EXPECT_EQ(lock.TryAcquire(directory, "vusb.default-folder-test"), DeviceLock::Outcome::Acquired) << lock.Error();
}

} // namespace
} // namespace orvane
