// Virtual devices over named pipes on the real system calls: a server on
// a thread of the test, the client transport listing its marker and
// moving control transfers, and what the client refuses to follow.

#include "testing/ScriptedDevice.h"
#include "tests/unit/usb_test_support.h"
#include "usb/VirtualUsbServer.h"
#include "usb/VirtualUsbTransport.h"
#include "usb/windows/VirtualPipe.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace orvane {
namespace {

using test::Identity;

// Reads answer with the low byte of wIndex; writes are taken; the rest stalls.
TransferResult Echo(const SetupPacket &setup, uint8_t *data) {
  if (setup.request == 0x91 && setup.isIn()) {
    for (size_t i = 0; i < setup.length; ++i)
      data[i] = static_cast<uint8_t>(setup.index + i);
    return {TransferStatus::Completed, setup.length};
  }
  if (setup.request == 0x90 && !setup.isIn())
    return {TransferStatus::Completed, setup.length};
  return {TransferStatus::Stalled, 0};
}

std::string Utf8(const std::filesystem::path &path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Serves a device on its own thread for the life of the object.
class Served {
public:
  Served(VirtualDevice &device, const std::string &name, const std::string &directory)
      : server(device, name, directory) {
    started = server.Start(&error);
    if (started)
      thread = std::thread([this] { server.Run(stop); });
  }
  ~Served() { Halt(); }
  void Halt() {
    stop = true;
    if (thread.joinable())
      thread.join();
    server.Stop();
  }

  VirtualUsbServer server;
  std::atomic<bool> stop{false};
  std::thread thread;
  bool started = false;
  std::string error;
};

class WindowsVirtualDeviceTest : public ::testing::Test {
protected:
  WindowsVirtualDeviceTest() {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
  }
  ~WindowsVirtualDeviceTest() override { std::filesystem::remove_all(root); }

  std::string Folder() const { return Utf8(root); }

  const std::filesystem::path root = std::filesystem::temp_directory_path() / "orvane-vusb-test";
  ScriptedDevice r62{Identity(0x3B5D, 0xF0B8, true), Echo};
};

TEST_F(WindowsVirtualDeviceTest, AServedDeviceIsListedOpenedAndAnswersItsTransfers) {
  Served served(r62, "r62", Folder());
  ASSERT_TRUE(served.started) << served.error;
  EXPECT_EQ(served.server.SocketPath(), Folder() + "\\r62.pipe");
  EXPECT_TRUE(std::filesystem::is_regular_file(root / "r62.pipe"));

  VirtualUsbTransport transport(Folder());
  const auto devices = transport.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].location, "r62");
  EXPECT_EQ(devices[0].productId, 0xF0B8);
  EXPECT_TRUE(devices[0].hasAudioInterface);
  EXPECT_EQ(transport.ListingProblem(), "");

  DeviceError error;
  auto connection = transport.Connect("r62", &error);
  ASSERT_TRUE(connection) << error.text;
  uint8_t data[3] = {};
  const TransferResult read = connection->Control({0xC3, 0x91, 0, 0xA6, 3}, data);
  EXPECT_EQ(read.status, TransferStatus::Completed);
  EXPECT_EQ(read.actual, 3u);
  EXPECT_EQ(data[0], 0xA6);
  EXPECT_EQ(data[2], 0xA8);
  uint8_t value = 5;
  EXPECT_EQ(connection->Control({0x43, 0x90, 0, 0x10, 1}, &value).status, TransferStatus::Completed);
  EXPECT_EQ(connection->Control({0x43, 0x77, 0, 0, 0}, nullptr).status, TransferStatus::Stalled);
  EXPECT_EQ(r62.OpenConnections(), 1);
}

TEST_F(WindowsVirtualDeviceTest, AStoppedServerTakesItsMarkerAlongAndOpenConnectionsSeeTheDeviceGo) {
  auto served = std::make_unique<Served>(r62, "r62", Folder());
  ASSERT_TRUE(served->started) << served->error;
  VirtualUsbTransport transport(Folder());
  auto connection = transport.Connect("r62", nullptr);
  ASSERT_TRUE(connection);
  served.reset();
  EXPECT_FALSE(std::filesystem::exists(root / "r62.pipe"));
  EXPECT_TRUE(transport.Enumerate().empty());
  uint8_t data = 0;
  // The server closed the connection: the device is gone for it, at once
  // and for every later transfer.
  EXPECT_EQ(connection->Control({0xC3, 0x91, 0, 0, 1}, &data).status, TransferStatus::Gone);
  EXPECT_EQ(connection->Control({0xC3, 0x91, 0, 0, 1}, &data).status, TransferStatus::Gone);
  EXPECT_FALSE(transport.StillAttached("r62"));
}

TEST_F(WindowsVirtualDeviceTest, AnUnpluggedOrReenumeratedDeviceAnswersAsTheProtocolSays) {
  Served served(r62, "r62", Folder());
  ASSERT_TRUE(served.started) << served.error;
  VirtualUsbTransport transport(Folder());
  auto before = transport.Connect("r62", nullptr);
  ASSERT_TRUE(before);
  uint8_t data = 0;
  // Answered once: the server has taken the connection in, for the device
  // as it was then. Until it has, a re-enumeration comes before the open.
  ASSERT_EQ(before->Control({0xC3, 0x91, 0, 0, 1}, &data).status, TransferStatus::Completed);
  r62.Reenumerate(Identity(0x3B5D, 0x6000));
  EXPECT_EQ(before->Control({0xC3, 0x91, 0, 0, 1}, &data).status, TransferStatus::Gone);
  const auto devices = transport.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].productId, 0x6000);
  r62.SetPresent(false);
  EXPECT_TRUE(transport.Enumerate().empty());
  // The server lets go of a new connection at once: nothing goes through.
  const auto late = transport.Connect("r62", nullptr);
  EXPECT_TRUE(!late || late->Control({0xC3, 0x91, 0, 0, 1}, &data).status != TransferStatus::Completed);
}

TEST_F(WindowsVirtualDeviceTest, ASecondServerOfTheSameNameIsRefused) {
  Served first(r62, "r62", Folder());
  ASSERT_TRUE(first.started) << first.error;
  ScriptedDevice other{Identity(0x3B5D, 0xF0B6, true), Echo};
  Served second(other, "r62", Folder());
  EXPECT_FALSE(second.started);
  EXPECT_EQ(second.error, "a device named r62 is already being served");
  VirtualUsbTransport transport(Folder());
  const auto devices = transport.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].productId, 0xF0B8);
}

TEST_F(WindowsVirtualDeviceTest, MarkersThatNameNoLivePipeOrAnythingElseAreNotFollowed) {
  // A stale marker, one pointing outside the pipe namespace, one with a
  // name that is not a device name, and a folder in a marker's place.
  std::ofstream(root / "stale.pipe") << "\\\\.\\pipe\\vantrel-vusb-1-gone\n";
  std::ofstream(root / "file.pipe") << "C:\\Windows\\win.ini\n";
  std::ofstream(root / "bad name.pipe") << "\\\\.\\pipe\\vantrel-vusb-1-x\n";
  std::filesystem::create_directories(root / "folder.pipe");
  VirtualUsbTransport transport(Folder());
  EXPECT_TRUE(transport.Enumerate().empty());
  EXPECT_EQ(transport.ListingProblem(), "");
  DeviceError error;
  EXPECT_FALSE(transport.Connect("file", &error));
  EXPECT_EQ(error.text, Folder() + "\\file.pipe does not name a virtual device pipe");
  EXPECT_FALSE(transport.Connect("stale", &error));
  EXPECT_EQ(error.text.rfind("virtual device stale does not answer at \\\\.\\pipe\\vantrel-vusb-1-gone (", 0), 0u)
      << error.text;
  // A stale marker of the same name is taken over by a new server.
  std::ofstream(root / "r62.pipe") << "\\\\.\\pipe\\vantrel-vusb-1-r62\n";
  Served served(r62, "r62", Folder());
  EXPECT_TRUE(served.started) << served.error;
  EXPECT_EQ(transport.Enumerate().size(), 1u);
}

TEST_F(WindowsVirtualDeviceTest, AMarkerFolderThatIsAFileIsReportedAndAnAbsentOneIsNot) {
  VirtualUsbTransport absent(Utf8(root / "none"));
  EXPECT_TRUE(absent.Enumerate().empty());
  EXPECT_EQ(absent.ListingProblem(), "");
  std::ofstream(root / "plain") << "x";
  VirtualUsbTransport file(Utf8(root / "plain"));
  EXPECT_TRUE(file.Enumerate().empty());
  EXPECT_EQ(file.ListingProblem(),
            "virtual devices not listed: " + Utf8(root / "plain") + " is not a folder (a link is not accepted)");
}

TEST_F(WindowsVirtualDeviceTest, TheServerIsThisUserAndThePipeNamesAreChecked) {
  Served served(r62, "r62", Folder());
  ASSERT_TRUE(served.started) << served.error;
  std::string why;
  const auto pipeName = ReadVirtualMarker(served.server.SocketPath(), &why);
  ASSERT_TRUE(pipeName) << why;
  EXPECT_EQ(*pipeName, VirtualPipeName("r62"));
  const UniqueHandle pipe(ConnectPipe(*pipeName, 100));
  ASSERT_TRUE(pipe.valid());
  EXPECT_TRUE(ServedByThisUser(pipe.get(), &why)) << why;
  EXPECT_TRUE(IsVirtualPipeName("\\\\.\\pipe\\vantrel-vusb-12-Orvane_R62"));
  for (const char *name : {"\\\\.\\pipe\\vantrel-vusb-", "\\\\.\\pipe\\other-1-x", "\\\\.\\pipe\\vantrel-vusb-1-a\\b",
                           "\\\\server\\pipe\\vantrel-vusb-1-x", "C:\\vantrel-vusb-1-x"})
    EXPECT_FALSE(IsVirtualPipeName(name)) << name;
}

TEST_F(WindowsVirtualDeviceTest, AFolderWithANonAsciiNameHoldsDevicesToo) {
  const std::filesystem::path folder = root / std::filesystem::path(u8"Jos\u00e9 \u65e5\u672c");
  Served served(r62, "r62", Utf8(folder));
  ASSERT_TRUE(served.started) << served.error;
  VirtualUsbTransport transport(Utf8(folder));
  EXPECT_EQ(transport.Enumerate().size(), 1u);
}

TEST(WindowsProgramCodePage, ProgramsRunWithUtf8AsTheirAnsiCodePage) {
  // The manifest every program carries: without it a Western European
  // Windows hands the program its arguments in code page 1252.
  EXPECT_EQ(::GetACP(), static_cast<UINT>(CP_UTF8));
}

} // namespace
} // namespace orvane
