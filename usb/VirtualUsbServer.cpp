#include "usb/VirtualUsbServer.h"

#include "usb/ErrnoText.h"
#include "usb/UnixSocket.h"
#include "usb/VirtualDeviceDirectory.h"
#include "usb/VirtualUsbSession.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace orvane {

namespace {

constexpr int kPollIntervalMs = 100;
// Out of file handles, the listener stays readable while nothing can be
// accepted: it is left out of the poll this long, so the loop does not spin.
constexpr auto kAcceptRest = std::chrono::milliseconds(100);
// A client that stops reading its answers is dropped after this long rather
// than stalling every other connection.
constexpr int kResponseSendTimeoutMs = 1000;
constexpr size_t kReceiveChunk = 16384;

struct Connection {
  UniqueFd fd;
  std::unique_ptr<VirtualUsbSession> session;
};

} // namespace

struct VirtualUsbServer::Impl {
  Impl(VirtualDevice &device, std::string name, std::string directory)
      : device(device), name(std::move(name)), directory(std::move(directory)) {}

  bool PrepareDirectory(std::string *error);
  bool ClearStaleSocket(std::string *error);
  // false when the process ran out of file handles: the pending
  // connections stay queued, and the listener must rest a while.
  bool AcceptPending();
  // false: the connection is to be closed.
  bool ReadFrom(Connection &connection);
  void CloseConnection(size_t position);
  void RemoveSocketFile();

  VirtualDevice &device;
  std::string name;
  std::string directory;
  std::string socketPath;
  UniqueFd listener;
  dev_t socketDevice = 0;
  ino_t socketInode = 0;
  std::vector<std::unique_ptr<Connection>> connections;
};

bool VirtualUsbServer::Impl::PrepareDirectory(std::string *error) {
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = "cannot create " + directory + ": " + ErrnoText(errno);
    return false;
  }
  // Clients ignore a directory others could write to; so does the server,
  // rather than publish a device where someone else could replace it.
  std::string why;
  if (!OpenPrivateDirectory(directory, &why).valid()) {
    *error = why;
    return false;
  }
  return true;
}

bool VirtualUsbServer::Impl::ClearStaleSocket(std::string *error) {
  struct stat info {};
  if (::lstat(socketPath.c_str(), &info) != 0)
    return true;
  if (!S_ISSOCK(info.st_mode)) {
    *error = socketPath + " exists and is not a socket";
    return false;
  }
  std::string connectError;
  if (ConnectUnixSocket(socketPath, &connectError).valid()) {
    *error = "a device named " + name + " is already being served";
    return false;
  }
  ::unlink(socketPath.c_str());
  return true;
}

bool VirtualUsbServer::Impl::AcceptPending() {
  for (;;) {
    UniqueFd fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.valid())
      return errno != EMFILE && errno != ENFILE && errno != ENOBUFS && errno != ENOMEM;
    // An unplugged device cannot be opened: the connection ends at once,
    // which a client sees as an absent device.
    if (!device.Present())
      continue;
    auto connection = std::make_unique<Connection>();
    connection->fd = std::move(fd);
    connection->session = std::make_unique<VirtualUsbSession>(device);
    connections.push_back(std::move(connection));
    device.ConnectionOpened();
  }
}

bool VirtualUsbServer::Impl::ReadFrom(Connection &connection) {
  uint8_t chunk[kReceiveChunk];
  const ssize_t n = ::recv(connection.fd.get(), chunk, sizeof chunk, MSG_DONTWAIT);
  if (n == 0)
    return false;
  if (n < 0)
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  const auto responses = connection.session->Receive(std::span<const uint8_t>(chunk, static_cast<size_t>(n)));
  if (!responses)
    return false;
  for (const auto &response : *responses)
    if (SendAll(connection.fd.get(), response, IoDeadline(kResponseSendTimeoutMs)) != IoOutcome::Done)
      return false;
  return true;
}

void VirtualUsbServer::Impl::CloseConnection(size_t position) {
  connections.erase(connections.begin() + static_cast<ptrdiff_t>(position));
  device.ConnectionClosed();
}

void VirtualUsbServer::Impl::RemoveSocketFile() {
  if (socketPath.empty())
    return;
  // Only our own socket: a later server may have taken the name over.
  struct stat info {};
  if (::lstat(socketPath.c_str(), &info) == 0 && info.st_dev == socketDevice && info.st_ino == socketInode)
    ::unlink(socketPath.c_str());
  socketPath.clear();
}

VirtualUsbServer::VirtualUsbServer(VirtualDevice &device, std::string name, std::string directory)
    : impl_(new Impl(device, std::move(name), directory.empty() ? VirtualDeviceDirectory() : std::move(directory))) {}

VirtualUsbServer::~VirtualUsbServer() {
  Stop();
  delete impl_;
}

bool VirtualUsbServer::Start(std::string *error) {
  std::string ignored;
  if (!error)
    error = &ignored;
  Impl &s = *impl_;
  if (s.listener.valid()) {
    *error = "already started";
    return false;
  }
  if (!IsValidVirtualDeviceName(s.name)) {
    *error = "invalid device name \"" + s.name + "\" (allowed: 1 to 64 of A-Z a-z 0-9 _ . -)";
    return false;
  }
  if (!s.PrepareDirectory(error))
    return false;
  const std::string path = s.directory + "/" + s.name + std::string(kVirtualSocketSuffix);
  if (!FitsSocketAddress(path)) {
    *error = "socket path too long: " + path;
    return false;
  }
  s.socketPath = path;
  if (!s.ClearStaleSocket(error)) {
    s.socketPath.clear();
    return false;
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
    *error = "cannot bind " + path + ": " + ErrnoText(errno);
    s.socketPath.clear();
    return false;
  }
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    s.socketDevice = info.st_dev;
    s.socketInode = info.st_ino;
  }
  if (::listen(fd.get(), 16) != 0) {
    *error = "cannot listen on " + path + ": " + ErrnoText(errno);
    s.RemoveSocketFile();
    return false;
  }
  s.listener = std::move(fd);
  return true;
}

void VirtualUsbServer::Run(const std::atomic<bool> &stop) {
  Impl &s = *impl_;
  std::vector<pollfd> polled;
  std::chrono::steady_clock::time_point acceptAgain{};
  while (!stop.load() && s.listener.valid()) {
    const bool accepting = std::chrono::steady_clock::now() >= acceptAgain;
    polled.clear();
    // A resting listener keeps its place with a negative descriptor, which poll skips.
    polled.push_back({accepting ? s.listener.get() : -1, POLLIN, 0});
    for (const auto &connection : s.connections)
      polled.push_back({connection->fd.get(), POLLIN, 0});
    const int ready = ::poll(polled.data(), polled.size(), kPollIntervalMs);
    if (ready < 0 && errno != EINTR)
      return;
    if (ready <= 0)
      continue;
    // Walk backwards so closing one connection leaves the earlier indices valid;
    // connections accepted in this round are not in polled yet.
    for (size_t i = polled.size() - 1; i >= 1; --i) {
      if (polled[i].revents == 0)
        continue;
      if (!s.ReadFrom(*s.connections[i - 1]))
        s.CloseConnection(i - 1);
    }
    if ((polled[0].revents & POLLIN) && !s.AcceptPending())
      acceptAgain = std::chrono::steady_clock::now() + kAcceptRest;
  }
}

void VirtualUsbServer::Stop() {
  Impl &s = *impl_;
  while (!s.connections.empty())
    s.CloseConnection(s.connections.size() - 1);
  s.listener.reset();
  s.RemoveSocketFile();
}

std::string VirtualUsbServer::SocketPath() const {
  return impl_->directory + "/" + impl_->name + std::string(kVirtualSocketSuffix);
}

} // namespace orvane
