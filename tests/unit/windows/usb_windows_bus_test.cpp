// The Windows device bus on the real system calls: run on Windows, or in
// CI under Wine, where no vendor driver is installed.

#include "usb/VantrelUsb.h"
#include "usb/windows/WindowsDeviceBus.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace orvane {
namespace {

const std::string kAbsentPath = "\\\\?\\usb#vid_3b5d&pid_6000#orvane-absent#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

TEST(WindowsDeviceBus, ListsBothInterfaceClassesThroughSetupApi) {
  WindowsDeviceBus bus;
  for (const Guid &interfaceClass : {kGuidUsbDevice, kGuidAudioDriver}) {
    const auto paths = bus.ListInterfaces(interfaceClass);
    ASSERT_TRUE(paths.has_value()) << interfaceClass.text();
    for (const auto &path : *paths)
      EXPECT_FALSE(path.empty());
  }
}

TEST(WindowsDeviceBus, AnAbsentDeviceDoesNotOpenAndSaysItIsGone) {
  WindowsDeviceBus bus;
  EXPECT_EQ(bus.Open(kAbsentPath), kNullHandle);
  EXPECT_EQ(bus.LastError().rfind("USB device " + kAbsentPath + " is gone (", 0), 0u) << bus.LastError();
  EXPECT_NE(bus.LastError().find("error "), std::string::npos);
}

TEST(WindowsDeviceBus, AHandleWithoutTheVendorDriverRefusesTheTransferWithTheSystemsReason) {
  // A plain file opens like a device path but has no driver for the
  // control codes: the call must fail, not hang, and say why.
  const auto file = std::filesystem::temp_directory_path() / "orvane-not-a-device.bin";
  std::ofstream(file) << "x";
  WindowsDeviceBus bus(2000);
  const DeviceHandle handle = bus.Open(file.string());
  ASSERT_NE(handle, kNullHandle) << bus.LastError();
  uint8_t block[24] = {};
  uint8_t answer[18] = {0xEE};
  uint32_t moved = 99;
  EXPECT_FALSE(bus.DriverIoControl(handle, kIoctlControlIn, block, sizeof block, answer, sizeof answer, &moved));
  EXPECT_EQ(moved, 0u);
  // The system's words for it follow ours: "(Request not supported, error 50)" under Wine.
  EXPECT_EQ(bus.LastError().rfind("the driver does not know this request (", 0), 0u) << bus.LastError();
  EXPECT_NE(bus.LastError().find(", error "), std::string::npos) << bus.LastError();
  // A setup packet goes the same way, as the generic driver's call.
  uint8_t value = 0xEE;
  EXPECT_FALSE(bus.Control(handle, SetupPacket{0xC3, 0x91, 0, 0xA6, 1}, &value, &moved));
  EXPECT_EQ(bus.LastError().rfind("the driver does not know this request (", 0), 0u) << bus.LastError();
  EXPECT_FALSE(bus.Probe(handle));
  bus.Close(handle);
  std::filesystem::remove(file);
}

TEST(WindowsDeviceBus, ADriverCallThatNeverReturnsIsCancelledAtItsDeadline) {
  // Waiting for a pipe client is a call that stays pending until someone
  // connects, which nobody does: it stands for a wedged driver.
  const HANDLE pipe = ::CreateNamedPipeA("\\\\.\\pipe\\orvane-wedged-driver", PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  constexpr uint32_t kListen = 0x00110008; // FSCTL_PIPE_LISTEN
  WindowsDeviceBus bus(300);
  const auto start = std::chrono::steady_clock::now();
  uint32_t moved = 99;
  EXPECT_FALSE(bus.DriverIoControl(reinterpret_cast<DeviceHandle>(pipe), kListen, nullptr, 0, nullptr, 0, &moved));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(bus.LastError(), "the device did not answer in time (no answer within 300 ms)");
  EXPECT_GE(took, std::chrono::milliseconds(250));
  EXPECT_LT(took, std::chrono::seconds(5));
  ::CloseHandle(pipe);
}

TEST(WindowsDeviceBus, TheDeviceObjectFindsNothingWhereNoVendorDriverRuns) {
  WindowsDeviceBus bus;
  VantrelUsb usb(bus);
  for (const bool audio : {false, true}) {
    usb.SetAudioDriver(audio);
    EXPECT_FALSE(usb.FindDevice());
    EXPECT_FALSE(usb.CheckDevice());
    EXPECT_FALSE(usb.IsFound());
    EXPECT_FALSE(usb.Open());
    EXPECT_FALSE(usb.HasHandle());
  }
}

} // namespace
} // namespace orvane

namespace orvane {
namespace {

constexpr uint32_t kPipeListen = 0x00110008; // FSCTL_PIPE_LISTEN: pending until a client comes

HANDLE ServerPipe(const wchar_t *name) {
  return ::CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
}

TEST(WindowsDeviceBusLoss, ThreeTimeOutsInARowAreASilentDeviceThatFailsAtOnceAfter) {
  const HANDLE pipe = ServerPipe(L"\\\\.\\pipe\\orvane-silent-driver");
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  const auto handle = reinterpret_cast<DeviceHandle>(pipe);
  WindowsDeviceBus bus(200, 500);
  for (int call = 1; call <= 3; ++call) {
    EXPECT_EQ(bus.Loss(handle), DeviceLoss::None) << call;
    EXPECT_FALSE(bus.DriverIoControl(handle, kPipeListen, nullptr, 0, nullptr, 0, nullptr));
  }
  EXPECT_EQ(bus.Loss(handle), DeviceLoss::StoppedAnswering);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(bus.DriverIoControl(handle, kPipeListen, nullptr, 0, nullptr, 0, nullptr));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150)) << "not asked again";
  EXPECT_EQ(bus.LastError(), "the device stopped answering");
  ::CloseHandle(pipe);
}

TEST(WindowsDeviceBusLoss, AnInterfacePathThatVanishedIsAnUnpluggedDevice) {
  const wchar_t *name = L"\\\\.\\pipe\\orvane-leaving-device";
  const HANDLE server = ServerPipe(name);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  WindowsDeviceBus bus(500);
  const DeviceHandle handle = bus.Open("\\\\.\\pipe\\orvane-leaving-device");
  ASSERT_NE(handle, kNullHandle) << bus.LastError();
  // The device leaves: its end closes and its name is gone from the system.
  ::CloseHandle(server);
  uint8_t block[24] = {};
  uint8_t answer[18] = {};
  EXPECT_FALSE(bus.DriverIoControl(handle, kIoctlControlIn, block, sizeof block, answer, sizeof answer, nullptr));
  EXPECT_EQ(bus.Loss(handle), DeviceLoss::Unplugged);
  EXPECT_EQ(bus.LastDeviceError().kind, DeviceErrorKind::Gone) << bus.LastError();
  EXPECT_FALSE(bus.DriverIoControl(handle, kIoctlControlIn, block, sizeof block, answer, sizeof answer, nullptr));
  EXPECT_EQ(bus.LastError(), "the device is gone");
  bus.Close(handle);
}

TEST(WindowsDeviceBusLoss, ADeviceStillThereThatRefusesARequestIsNotLost) {
  const auto file = std::filesystem::temp_directory_path() / "orvane-present-device.bin";
  std::ofstream(file) << "x";
  WindowsDeviceBus bus(500);
  const DeviceHandle handle = bus.Open(file.string());
  ASSERT_NE(handle, kNullHandle) << bus.LastError();
  uint8_t block[24] = {};
  uint8_t answer[18] = {};
  for (int call = 0; call < 4; ++call)
    EXPECT_FALSE(bus.DriverIoControl(handle, kIoctlControlIn, block, sizeof block, answer, sizeof answer, nullptr));
  EXPECT_EQ(bus.Loss(handle), DeviceLoss::None);
  bus.Close(handle);
  std::filesystem::remove(file);
}

} // namespace
} // namespace orvane
