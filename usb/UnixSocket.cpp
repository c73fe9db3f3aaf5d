#include "usb/UnixSocket.h"

#include "usb/ErrnoText.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvane {

namespace {

IoOutcome WaitFor(int fd, short events, const IoDeadline &deadline) {
  for (;;) {
    const int remaining = deadline.RemainingMs();
    if (remaining <= 0)
      return IoOutcome::TimedOut;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, remaining);
    if (n > 0)
      return IoOutcome::Done;
    if (n == 0)
      return IoOutcome::TimedOut;
    if (errno != EINTR)
      return IoOutcome::Failed;
  }
}

} // namespace

void UniqueFd::reset(int fd) {
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = fd;
}

int IoDeadline::RemainingMs() const {
  using namespace std::chrono;
  const auto left = duration_cast<milliseconds>(end_ - steady_clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

IoOutcome SendAll(int fd, std::span<const uint8_t> bytes, const IoDeadline &deadline) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const IoOutcome waited = WaitFor(fd, POLLOUT, deadline);
      if (waited != IoOutcome::Done)
        return waited;
      continue;
    }
    return (n < 0 && (errno == EPIPE || errno == ECONNRESET)) ? IoOutcome::Closed : IoOutcome::Failed;
  }
  return IoOutcome::Done;
}

IoOutcome ReceiveExact(int fd, std::span<uint8_t> bytes, const IoDeadline &deadline) {
  size_t received = 0;
  while (received < bytes.size()) {
    const ssize_t n = ::recv(fd, bytes.data() + received, bytes.size() - received, MSG_DONTWAIT);
    if (n > 0) {
      received += static_cast<size_t>(n);
      continue;
    }
    if (n == 0)
      return IoOutcome::Closed;
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      const IoOutcome waited = WaitFor(fd, POLLIN, deadline);
      if (waited != IoOutcome::Done)
        return waited;
      continue;
    }
    return errno == ECONNRESET ? IoOutcome::Closed : IoOutcome::Failed;
  }
  return IoOutcome::Done;
}

std::optional<uid_t> PeerUid(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials)
    return std::nullopt;
  return credentials.uid;
}

bool FitsSocketAddress(const std::string &path) {
  return !path.empty() && path.size() < sizeof(sockaddr_un::sun_path) && path.find('\0') == std::string::npos;
}

UniqueFd ConnectUnixSocket(const std::string &path, std::string *error, int *errorNumber) {
  if (!FitsSocketAddress(path)) {
    *error = "socket path too long: " + path;
    return {};
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    *error = std::string("cannot create a socket: ") + ErrnoText(errno);
    return {};
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  int result;
  do {
    result = ::connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    if (errorNumber)
      *errorNumber = errno;
    *error = path + ": " + ErrnoText(errno);
    return {};
  }
  return fd;
}

} // namespace orvane
