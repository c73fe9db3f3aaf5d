#include "usb/VirtualUsbTransport.h"

#include "usb/UnixSocket.h"
#include "usb/VirtualDeviceDirectory.h"
#include "usb/VirtualUsbServer.h"
#include "usb/VirtualUsbWire.h"
#include "usb/VirtualWireConnection.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace orvane {

namespace {

// One request, one response; the body, or why there is none.
struct Exchanged {
  std::optional<std::vector<uint8_t>> body;
  IoOutcome outcome = IoOutcome::Failed;
};

// nullopt body when the peer goes away, takes too long or sends something
// that is not a frame.
Exchanged Exchange(int fd, std::span<const uint8_t> body, int timeoutMs) {
  const IoDeadline deadline(timeoutMs);
  if (const IoOutcome sent = SendAll(fd, vusb::Frame(body), deadline); sent != IoOutcome::Done)
    return {std::nullopt, sent};
  uint8_t header[vusb::kFrameHeaderSize];
  if (const IoOutcome received = ReceiveExact(fd, header, deadline); received != IoOutcome::Done)
    return {std::nullopt, received};
  const auto length = vusb::ParseFrameHeader(header);
  if (!length)
    return {std::nullopt, IoOutcome::Failed};
  std::vector<uint8_t> response(*length);
  if (const IoOutcome received = ReceiveExact(fd, response, deadline); received != IoOutcome::Done)
    return {std::nullopt, received};
  return {std::move(response), IoOutcome::Done};
}

// Connected to a device served by our own uid, or invalid with the reason.
UniqueFd ConnectToDevice(const std::string &socketPath, std::string *error) {
  UniqueFd fd = ConnectUnixSocket(socketPath, error);
  if (!fd.valid())
    return {};
  const auto peer = PeerUid(fd.get());
  if (!peer || *peer != ::geteuid()) {
    *error = socketPath + " is served by another user";
    return {};
  }
  return fd;
}

// Device names in the directory, sorted so the listing order is stable.
std::vector<std::string> SocketNames(int directoryFd) {
  std::vector<std::string> names;
  const int listFd = ::dup(directoryFd);
  if (listFd < 0)
    return names;
  DIR *dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return names;
  }
  while (const dirent *entry = ::readdir(dir)) {
    const std::string_view file(entry->d_name);
    if (file.size() <= kVirtualSocketSuffix.size() || !file.ends_with(kVirtualSocketSuffix))
      continue;
    const std::string_view name = file.substr(0, file.size() - kVirtualSocketSuffix.size());
    struct stat info {};
    if (!IsValidVirtualDeviceName(name) || ::fstatat(directoryFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISSOCK(info.st_mode))
      continue;
    names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

class VirtualUsbConnection final : public VirtualWireConnection {
public:
  VirtualUsbConnection(UniqueFd fd, int timeoutMs) : fd_(std::move(fd)), timeoutMs_(timeoutMs) {}

private:
  bool WireOpen() const override { return fd_.valid(); }
  void CloseWire() override { fd_.reset(); }
  Answer Exchange(std::span<const uint8_t> request) override {
    Exchanged exchanged = orvane::Exchange(fd_.get(), request, timeoutMs_);
    return {std::move(exchanged.body), exchanged.outcome == IoOutcome::TimedOut};
  }

  UniqueFd fd_;
  int timeoutMs_;
};

} // namespace

VirtualUsbTransport::VirtualUsbTransport(std::string directory) : directory_(std::move(directory)) {}

VirtualUsbTransport::VirtualUsbTransport(std::string directory, Timeouts timeouts)
    : directory_(std::move(directory)), timeouts_(timeouts) {}

std::string VirtualUsbTransport::Directory() const {
  return directory_.empty() ? VirtualDeviceDirectory() : directory_;
}

std::optional<UsbDeviceInfo> VirtualUsbTransport::DescribeIn(const std::string &directory, const std::string &name) {
  std::string why;
  const UniqueFd fd = ConnectToDevice(directory + "/" + name + std::string(kVirtualSocketSuffix), &why);
  if (!fd.valid())
    return std::nullopt; // stale, or not ours
  const auto body = Exchange(fd.get(), vusb::EncodeDescribeRequest(), timeouts_.describeMs).body;
  auto info = body ? vusb::ParseDescribeResponse(*body) : std::nullopt;
  if (info)
    info->location = name;
  return info;
}

std::vector<UsbDeviceInfo> VirtualUsbTransport::Enumerate() {
  std::vector<UsbDeviceInfo> devices;
  const std::string directory = Directory();
  listingProblem_.clear();
  std::string why;
  const UniqueFd directoryFd = OpenPrivateDirectory(directory, &why);
  if (!directoryFd.valid()) {
    // No directory means no virtual devices; one that is there but refused
    // hides devices the user may be looking for.
    struct stat info {};
    if (::lstat(directory.c_str(), &info) == 0)
      listingProblem_ = "virtual devices not listed: " + why;
    return devices;
  }
  for (const std::string &name : SocketNames(directoryFd.get()))
    if (auto info = DescribeIn(directory, name))
      devices.push_back(std::move(*info));
  return devices;
}

bool VirtualUsbTransport::SocketListed(int directoryFd, const std::string &location) {
  struct stat info {};
  // The same checks as the listing: a socket itself, not a link to one.
  return IsValidVirtualDeviceName(location) &&
         ::fstatat(directoryFd, (location + std::string(kVirtualSocketSuffix)).c_str(), &info, AT_SYMLINK_NOFOLLOW) ==
             0 &&
         S_ISSOCK(info.st_mode);
}

std::optional<UsbDeviceInfo> VirtualUsbTransport::Describe(const std::string &location) {
  const std::string directory = Directory();
  std::string why;
  const UniqueFd directoryFd = OpenPrivateDirectory(directory, &why);
  if (!directoryFd.valid() || !SocketListed(directoryFd.get(), location))
    return std::nullopt;
  return DescribeIn(directory, location);
}

bool VirtualUsbTransport::StillAttached(const std::string &location) {
  // A socket file nobody serves refuses the connection, and a server closes
  // one to an unplugged device at once; a server busy with a late answer
  // takes it and says nothing yet.
  const std::string directory = Directory();
  std::string why;
  const UniqueFd directoryFd = OpenPrivateDirectory(directory, &why);
  if (!directoryFd.valid() || !SocketListed(directoryFd.get(), location))
    return false;
  const std::string socketPath = directory + "/" + location + std::string(kVirtualSocketSuffix);
  int connectError = 0;
  UniqueFd fd = ConnectUnixSocket(socketPath, &why, &connectError);
  // A server stuck on a late answer leaves new connections waiting until
  // its queue is full.
  if (!fd.valid())
    return connectError == EAGAIN;
  const auto peer = PeerUid(fd.get());
  if (!peer || *peer != ::geteuid())
    return false;
  const IoOutcome outcome = Exchange(fd.get(), vusb::EncodeDescribeRequest(), timeouts_.describeMs).outcome;
  return outcome == IoOutcome::Done || outcome == IoOutcome::TimedOut;
}

std::unique_ptr<UsbConnection> VirtualUsbTransport::Connect(const std::string &location, DeviceError *error) {
  DeviceError ignored;
  if (!error)
    error = &ignored;
  if (!IsValidVirtualDeviceName(location)) {
    *error = {DeviceErrorKind::NoDevice, "no virtual device named \"" + location + "\""};
    return nullptr;
  }
  const std::string directory = Directory();
  std::string why;
  UniqueFd fd;
  if (OpenPrivateDirectory(directory, &why).valid())
    fd = ConnectToDevice(directory + "/" + location + std::string(kVirtualSocketSuffix), &why);
  if (!fd.valid()) {
    *error = {DeviceErrorKind::Failed, why};
    return nullptr;
  }
  return std::make_unique<VirtualUsbConnection>(std::move(fd), timeouts_.controlMs);
}

std::optional<DeviceLock::Outcome> VirtualUsbTransport::LockDevice(const std::string &location, DeviceLock &lock,
                                                                   DeviceError *error) {
  DeviceError ignored;
  if (!error)
    error = &ignored;
  const DeviceError absent{DeviceErrorKind::NoDevice, "no virtual device named \"" + location + "\""};
  if (!IsValidVirtualDeviceName(location)) {
    *error = absent;
    return DeviceLock::Outcome::Unreachable;
  }
  const std::string directory = Directory();
  std::string why;
  const UniqueFd directoryFd = OpenPrivateDirectory(directory, &why);
  if (!directoryFd.valid()) {
    *error = {DeviceErrorKind::Failed, why};
    return DeviceLock::Outcome::Unreachable;
  }
  struct stat info {};
  if (::fstatat(directoryFd.get(), (location + std::string(kVirtualSocketSuffix)).c_str(), &info,
                AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISSOCK(info.st_mode)) {
    *error = absent;
    return DeviceLock::Outcome::Unreachable;
  }
  const std::string name = location + std::string(kVirtualLockSuffix);
  return lock.TryAcquireIn(directoryFd.get(), name, directory + "/" + name);
}

} // namespace orvane
