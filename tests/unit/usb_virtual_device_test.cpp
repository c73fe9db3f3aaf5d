#include "testing/ScriptedDevice.h"
#include "usb/EmulatedDriverBus.h"
#include "usb/SystemBus.h"
#include "usb/UnixSocket.h"
#include "usb/VantrelUsb.h"
#include "usb/VirtualUsbServer.h"
#include "usb/VirtualUsbTransport.h"
#include "usb/VirtualUsbWire.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;
using test::Identity;

// A device with a small register file: vendor request 0x90 writes
// registers from wIndex on, 0x91 reads them.
class RegisterDevice {
public:
  RegisterDevice(uint16_t productId, bool audio) : device(Identity(0x3B5D, productId, audio)) {
    device.SetHandler([this](const SetupPacket &setup, uint8_t *data) {
      std::lock_guard lock(mutex);
      seen.push_back(setup);
      if (setup.request == 0x90 && !setup.isIn()) {
        for (size_t i = 0; i < setup.length; ++i)
          registers[static_cast<uint16_t>(setup.index + i)] = data[i];
        return TransferResult{TransferStatus::Completed, setup.length};
      }
      if (setup.request == 0x91 && setup.isIn()) {
        for (size_t i = 0; i < setup.length; ++i)
          data[i] = registers[static_cast<uint16_t>(setup.index + i)];
        return TransferResult{TransferStatus::Completed, setup.length};
      }
      return TransferResult{TransferStatus::Stalled, 0};
    });
  }

  std::vector<SetupPacket> Seen() {
    std::lock_guard lock(mutex);
    return seen;
  }

  ScriptedDevice device;
  std::mutex mutex;
  std::map<uint16_t, uint8_t> registers;
  std::vector<SetupPacket> seen;
};

// Serves a device on its own thread for the life of the object.
class ServedDevice {
public:
  ServedDevice(VirtualDevice &device, const std::string &name, const std::string &directory = {})
      : server(device, name, directory) {
    started = server.Start(&error);
    if (started)
      thread = std::thread([this] { server.Run(stop); });
  }
  ~ServedDevice() { Halt(); }
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

// A hand-made server that misbehaves on CONTROL requests in one chosen way.
class MisbehavingServer {
public:
  enum class Mode { CloseAfterRequest, CloseOnAccept, NeverAnswer, OversizeAnswer };

  MisbehavingServer(const std::string &path, Mode mode) : mode_(mode) {
    listener_ = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bound_ = ::bind(listener_.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
             ::listen(listener_.get(), 4) == 0;
    thread_ = std::thread([this] { Serve(); });
  }
  ~MisbehavingServer() {
    ::shutdown(listener_.get(), SHUT_RDWR);
    thread_.join();
  }
  bool bound() const { return bound_; }

private:
  void Serve() {
    for (;;) {
      UniqueFd client(::accept(listener_.get(), nullptr, nullptr));
      if (!client.valid())
        return;
      if (mode_ == Mode::CloseOnAccept)
        continue;
      Bytes header(4);
      if (ReceiveExact(client.get(), header, IoDeadline(2000)) != IoOutcome::Done)
        continue;
      Bytes body(*vusb::ParseFrameHeader(header));
      if (ReceiveExact(client.get(), body, IoDeadline(2000)) != IoOutcome::Done)
        continue;
      if (mode_ == Mode::NeverAnswer) {
        Bytes rest(1);
        ReceiveExact(client.get(), rest, IoDeadline(2000)); // until the client gives up
      } else if (mode_ == Mode::OversizeAnswer) {
        SendAll(client.get(), Bytes{0x41, 0x00, 0x01, 0x00, 0x00}, IoDeadline(2000));
      }
    }
  }

  Mode mode_;
  UniqueFd listener_;
  bool bound_ = false;
  std::thread thread_;
};

class VirtualDeviceTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-vusb-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    base = pattern;
    if (const char *old = std::getenv("XDG_RUNTIME_DIR"))
      savedRuntimeDir = old;
    ::setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
    directory = base + "/vantrel-vusb";
  }
  void TearDown() override {
    if (savedRuntimeDir)
      ::setenv("XDG_RUNTIME_DIR", savedRuntimeDir->c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(base);
  }

  void MakeDirectory(mode_t mode) {
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(directory.c_str(), mode), 0);
  }

  static TransferResult Control(UsbConnection &connection, SetupPacket setup, Bytes &data) {
    setup.length = static_cast<uint16_t>(data.size());
    return connection.Control(setup, data.data());
  }

  // Connected, and one register read went through, so the server has
  // taken the connection on.
  static std::unique_ptr<UsbConnection> ConnectAndRead(VirtualUsbTransport &transport, const std::string &name) {
    auto connection = transport.Connect(name, nullptr);
    Bytes value(1);
    if (!connection || !Control(*connection, kRegisterRead, value).ok())
      return nullptr;
    return connection;
  }

  static constexpr SetupPacket kRegisterRead{0xC3, 0x91, 0, 0xA6, 1};

  std::string base;
  std::string directory;
  std::optional<std::string> savedRuntimeDir;
  VirtualUsbTransport::Timeouts quick{200, 300};
};

TEST_F(VirtualDeviceTest, DirectoryComesFromTheRuntimeDirectory) {
  EXPECT_EQ(VirtualDeviceDirectory(), directory);
  ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  EXPECT_EQ(VirtualDeviceDirectory(), "/tmp/vantrel-vusb-" + std::to_string(::geteuid()));
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(VirtualDeviceDirectory(), "/tmp/vantrel-vusb-" + std::to_string(::geteuid()));
}

// With a device published in the virtual device directory, the program's
// bus finds it through both drivers and moves bytes both ways.
TEST_F(VirtualDeviceTest, FoundThroughBothDriversAndMovesBytesBothWays) {
  RegisterDevice r62(0xF0B8, true);
  ServedDevice served(r62.device, "r62");
  ASSERT_TRUE(served.started) << served.error;
  struct stat info {};
  ASSERT_EQ(::lstat(directory.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  const std::unique_ptr<DeviceBus> bus = CreateSystemBus();
  VantrelUsb usb(*bus);
  ASSERT_TRUE(usb.SetTarget("vid_3b5d&pid_f0b8"));
  for (const bool audioDriver : {true, false}) {
    SCOPED_TRACE(audioDriver ? "audio driver" : "generic driver");
    usb.SetAudioDriver(audioDriver);
    usb.ClearFound();
    EXPECT_TRUE(usb.FindDevice());
    EXPECT_TRUE(usb.IsFound());
    EXPECT_NE(std::string(usb.DevicePath()).find("#vusb.r62#"), std::string::npos);
    ASSERT_TRUE(usb.Open());
    uint8_t written[3] = {0x12, 0x34, audioDriver ? uint8_t{0xAD} : uint8_t{0x6E}};
    ASSERT_TRUE(usb.ControlTransfer(0x43, 0x90, 0, 0x00A6, written, 3));
    uint8_t read[3] = {};
    ASSERT_TRUE(usb.ControlTransfer(0xC3, 0x91, 0, 0x00A6, read, 3));
    EXPECT_EQ(Bytes(read, read + 3), Bytes(written, written + 3));
    usb.Close();
  }
  const auto seen = r62.Seen();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].requestType, 0x43);
  EXPECT_EQ(seen[1].requestType, 0xC3);
  EXPECT_EQ(seen[1].index, 0x00A6);
  EXPECT_EQ(seen[1].length, 3);
}

TEST_F(VirtualDeviceTest, ListsTheIdentityAndServesTheDeviceDescriptor) {
  ScriptedDevice isp(Identity(0x0C7E, 0x6000));
  isp.Reenumerate([] {
    UsbDeviceInfo info = Identity(0x0C7E, 0x6000);
    info.bcdDevice = 0x0161;
    info.serial = "A1B2";
    return info;
  }());
  ServedDevice served(isp, "isp-1");
  ASSERT_TRUE(served.started) << served.error;

  VirtualUsbTransport transport;
  const auto devices = transport.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].location, "isp-1");
  EXPECT_EQ(devices[0].vendorId, 0x0C7E);
  EXPECT_EQ(devices[0].productId, 0x6000);
  EXPECT_EQ(devices[0].bcdDevice, 0x0161);
  EXPECT_FALSE(devices[0].hasAudioInterface);
  EXPECT_EQ(devices[0].serial, "A1B2");

  DeviceError error;
  const auto connection = transport.Connect("isp-1", &error);
  ASSERT_TRUE(connection) << error.text;
  Bytes descriptor(18);
  const TransferResult result = Control(*connection, {0x80, 6, 0x0100, 1, 0}, descriptor);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.actual, 18u);
  EXPECT_EQ(Bytes(descriptor.begin(), descriptor.begin() + 2), (Bytes{18, 1}));
  EXPECT_EQ(Bytes(descriptor.begin() + 8, descriptor.begin() + 14), (Bytes{0x7E, 0x0C, 0x00, 0x60, 0x61, 0x01}));

  Bytes ignored(1);
  EXPECT_EQ(Control(*connection, {0xC3, 0x91, 0, 0, 0}, ignored).status, TransferStatus::Stalled);
  EXPECT_EQ(isp.OpenConnections(), 1);
}

TEST_F(VirtualDeviceTest, OpenConnectionsSeeGoneAfterReenumerationOrUnplug) {
  RegisterDevice r62(0xF0B8, true);
  ServedDevice served(r62.device, "r62");
  ASSERT_TRUE(served.started) << served.error;
  VirtualUsbTransport transport;
  const auto before = ConnectAndRead(transport, "r62");
  ASSERT_TRUE(before);
  Bytes value(1);

  r62.device.Reenumerate(Identity(0x3B5D, 0x6000, false));
  EXPECT_EQ(Control(*before, kRegisterRead, value).status, TransferStatus::Gone);
  EXPECT_EQ(Control(*before, kRegisterRead, value).status, TransferStatus::Gone);
  const auto devices = transport.Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].productId, 0x6000);
  const auto after = ConnectAndRead(transport, "r62");
  ASSERT_TRUE(after);

  r62.device.SetPresent(false);
  EXPECT_TRUE(transport.Enumerate().empty());
  EXPECT_FALSE(ConnectAndRead(transport, "r62"));
  EXPECT_EQ(Control(*after, kRegisterRead, value).status, TransferStatus::Gone);
}

TEST_F(VirtualDeviceTest, ServerThatDiesMidRequestFailsTheTransferAtOnce) {
  MakeDirectory(0700);
  for (const auto mode : {MisbehavingServer::Mode::CloseAfterRequest, MisbehavingServer::Mode::CloseOnAccept,
                          MisbehavingServer::Mode::OversizeAnswer}) {
    const std::string path = directory + "/dying.sock";
    ::unlink(path.c_str());
    MisbehavingServer dying(path, mode);
    ASSERT_TRUE(dying.bound());
    VirtualUsbTransport transport; // default time-outs: failing fast is not a time-out
    const auto connection = transport.Connect("dying", nullptr);
    ASSERT_TRUE(connection);
    const auto start = std::chrono::steady_clock::now();
    Bytes data{1, 2, 3, 4};
    // The connection closed under the request: the device is gone for it,
    // for this transfer and every later one.
    EXPECT_EQ(Control(*connection, {0x43, 0x90, 0, 0xA6, 0}, data).status, TransferStatus::Gone);
    EXPECT_EQ(Control(*connection, kRegisterRead, data).status, TransferStatus::Gone);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
}

TEST_F(VirtualDeviceTest, ServerThatNeverAnswersTimesOut) {
  MakeDirectory(0700);
  MisbehavingServer silent(directory + "/silent.sock", MisbehavingServer::Mode::NeverAnswer);
  ASSERT_TRUE(silent.bound());
  VirtualUsbTransport transport({}, quick);
  const auto connection = transport.Connect("silent", nullptr);
  ASSERT_TRUE(connection);
  Bytes data(1);
  EXPECT_EQ(Control(*connection, kRegisterRead, data).status, TransferStatus::Failed);
  // A late answer would be taken for the next request's: the connection is
  // closed at once. The device behind it is silent, not gone: it may
  // answer a new connection.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Control(*connection, kRegisterRead, data).status, TransferStatus::Failed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_TRUE(transport.Enumerate().empty());
  EXPECT_TRUE(transport.StillAttached("silent"));
}

// Whether anything is still there: a server that answers or is only slow
// is; a socket nobody serves, a server that closes at once (an unplugged
// device) and a missing socket are not.
TEST_F(VirtualDeviceTest, StillAttachedTellsASilentDeviceFromAGoneOne) {
  MakeDirectory(0700);
  VirtualUsbTransport transport({}, quick);
  MisbehavingServer closing(directory + "/closing.sock", MisbehavingServer::Mode::CloseOnAccept);
  ASSERT_TRUE(closing.bound());
  EXPECT_FALSE(transport.StillAttached("closing"));
  EXPECT_FALSE(transport.StillAttached("missing"));
  {
    MisbehavingServer crashed(directory + "/crashed.sock", MisbehavingServer::Mode::CloseOnAccept);
    ASSERT_TRUE(crashed.bound());
  } // gone without removing its socket file: nobody serves it
  EXPECT_FALSE(transport.StillAttached("crashed"));
  MisbehavingServer silent(directory + "/silent.sock", MisbehavingServer::Mode::NeverAnswer);
  ASSERT_TRUE(silent.bound());
  EXPECT_TRUE(transport.StillAttached("silent"));
}

// A stopped server among the devices: opening another device does not ask
// it at all, and listing waits on it only briefly.
TEST_F(VirtualDeviceTest, AStoppedServerDoesNotHoldUpOpeningOrListingTheOthers) {
  RegisterDevice r62(0xF0B8, true);
  ServedDevice served(r62.device, "r62");
  ASSERT_TRUE(served.started) << served.error;
  MisbehavingServer silent(directory + "/a-silent.sock", MisbehavingServer::Mode::NeverAnswer);
  ASSERT_TRUE(silent.bound());

  EmulatedDriverBus bus;
  bus.AddTransport(std::make_unique<VirtualUsbTransport>()); // the program's own time-outs
  auto start = std::chrono::steady_clock::now();
  const auto paths = bus.ListInterfaces(kGuidUsbDevice);
  const auto listing = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(paths);
  ASSERT_EQ(paths->size(), 1u);
  EXPECT_LT(listing, std::chrono::milliseconds(600));

  start = std::chrono::steady_clock::now();
  const DeviceHandle handle = bus.Open(paths->front());
  EXPECT_NE(handle, kNullHandle) << bus.LastError();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  bus.Close(handle);
}

TEST_F(VirtualDeviceTest, ARefusedDirectoryIsAListingProblemWithItsReason) {
  EmulatedDriverBus bus;
  bus.AddTransport(std::make_unique<VirtualUsbTransport>());
  bus.ListInterfaces(kGuidUsbDevice);
  EXPECT_TRUE(bus.ListingProblems().empty()) << "no directory is no problem";

  MakeDirectory(0755);
  EXPECT_TRUE(bus.ListInterfaces(kGuidUsbDevice)->empty());
  const auto problems = bus.ListingProblems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find(directory + " is open to other users (its mode must be 0700)"), std::string::npos)
      << problems[0];
}

TEST_F(VirtualDeviceTest, DirectoryOpenToOthersHoldsNoDevices) {
  RegisterDevice r62(0xF0B8, true);
  ServedDevice served(r62.device, "r62");
  ASSERT_TRUE(served.started) << served.error;
  VirtualUsbTransport transport;
  ASSERT_EQ(transport.Enumerate().size(), 1u);

  ASSERT_EQ(::chmod(directory.c_str(), 0755), 0);
  EXPECT_TRUE(transport.Enumerate().empty());
  DeviceError error;
  EXPECT_FALSE(transport.Connect("r62", &error));
  EXPECT_NE(error.text.find("0700"), std::string::npos);

  RegisterDevice other(0xF0B5, true);
  ServedDevice refused(other.device, "other");
  EXPECT_FALSE(refused.started);
  EXPECT_NE(refused.error.find("0700"), std::string::npos);
}

TEST_F(VirtualDeviceTest, SymlinkedDirectoryHoldsNoDevices) {
  const std::string real = base + "/real";
  ASSERT_EQ(::mkdir(real.c_str(), 0700), 0);
  RegisterDevice r62(0xF0B8, true);
  ServedDevice served(r62.device, "r62", real);
  ASSERT_TRUE(served.started) << served.error;
  ASSERT_EQ(::symlink(real.c_str(), directory.c_str()), 0);

  VirtualUsbTransport transport;
  EXPECT_TRUE(transport.Enumerate().empty());
  EXPECT_FALSE(transport.Connect("r62", nullptr));
  EXPECT_EQ(VirtualUsbTransport(real).Enumerate().size(), 1u);
}

TEST_F(VirtualDeviceTest, StaleSocketIsAbsentAndTakenOverByTheNextServer) {
  MakeDirectory(0700);
  {
    MisbehavingServer gone(directory + "/r62.sock", MisbehavingServer::Mode::CloseOnAccept);
    ASSERT_TRUE(gone.bound());
  } // closed without removing its socket file
  const int plain = ::open((directory + "/plain.sock").c_str(), O_CREAT | O_WRONLY, 0600);
  ::close(plain);
  VirtualUsbTransport transport;
  EXPECT_TRUE(transport.Enumerate().empty());
  EXPECT_FALSE(transport.Connect("r62", nullptr));

  RegisterDevice r62(0xF0B8, true);
  ServedDevice served(r62.device, "r62");
  ASSERT_TRUE(served.started) << served.error;
  EXPECT_EQ(transport.Enumerate().size(), 1u);
}

TEST_F(VirtualDeviceTest, ServerRefusesABadNameAndASecondServerOfTheSameName) {
  RegisterDevice r62(0xF0B8, true);
  ServedDevice bad(r62.device, "bad/name");
  EXPECT_FALSE(bad.started);
  ServedDevice first(r62.device, "r62");
  ASSERT_TRUE(first.started) << first.error;
  ServedDevice second(r62.device, "r62");
  EXPECT_FALSE(second.started);
  EXPECT_NE(second.error.find("already"), std::string::npos);
  VirtualUsbTransport transport;
  EXPECT_EQ(transport.Enumerate().size(), 1u);
}

TEST_F(VirtualDeviceTest, ServerRemovesItsSocketWhenItStops) {
  RegisterDevice r62(0xF0B8, true);
  std::string socketPath;
  {
    ServedDevice served(r62.device, "r62");
    ASSERT_TRUE(served.started) << served.error;
    socketPath = served.server.SocketPath();
    EXPECT_TRUE(std::filesystem::exists(socketPath));
    served.Halt();
    EXPECT_FALSE(std::filesystem::exists(socketPath));
  }
  {
    VirtualUsbServer destroyed(r62.device, "r63");
    ASSERT_TRUE(destroyed.Start(nullptr));
    socketPath = destroyed.SocketPath();
    EXPECT_TRUE(std::filesystem::exists(socketPath));
  }
  EXPECT_FALSE(std::filesystem::exists(socketPath));
}

TEST_F(VirtualDeviceTest, ServerClosesConnectionsThatBreakTheFraming) {
  RegisterDevice r62(0xF0B8, true);
  ServedDevice served(r62.device, "r62");
  ASSERT_TRUE(served.started) << served.error;
  const std::vector<Bytes> broken = {
      {0x41, 0x00, 0x01, 0x00},             // body longer than allowed
      {0x02, 0x00, 0x00, 0x00, 0x01, 0x00}, // DESCRIBE with a stray byte
      {0x01, 0x00, 0x00, 0x00, 0x07},       // unknown opcode
  };
  for (const Bytes &message : broken) {
    std::string error;
    UniqueFd fd = ConnectUnixSocket(served.server.SocketPath(), &error);
    ASSERT_TRUE(fd.valid()) << error;
    ASSERT_EQ(SendAll(fd.get(), message, IoDeadline(1000)), IoOutcome::Done);
    Bytes anything(1);
    EXPECT_EQ(ReceiveExact(fd.get(), anything, IoDeadline(2000)), IoOutcome::Closed);
  }
  // The server itself carries on.
  EXPECT_EQ(VirtualUsbTransport().Enumerate().size(), 1u);
}

} // namespace
} // namespace orvane
