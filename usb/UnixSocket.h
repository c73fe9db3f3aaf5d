#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvane {

// Owns one file descriptor.
class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
  UniqueFd &operator=(UniqueFd &&other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);

private:
  int fd_ = -1;
};

// Socket I/O waits on the peer, never longer than this. These are waits for
// bytes, not sleeps: they end as soon as the peer answers or goes away.
class IoDeadline {
public:
  explicit IoDeadline(int timeoutMs) : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}
  int RemainingMs() const;

private:
  std::chrono::steady_clock::time_point end_;
};

enum class IoOutcome { Done, Closed, TimedOut, Failed };

// Both work on non-blocking sockets and never raise SIGPIPE.
IoOutcome SendAll(int fd, std::span<const uint8_t> bytes, const IoDeadline &deadline);
IoOutcome ReceiveExact(int fd, std::span<uint8_t> bytes, const IoDeadline &deadline);

// The uid of the process at the other end of a connected Unix socket.
std::optional<uid_t> PeerUid(int fd);

// Whether path fits a Unix socket address; a longer one is never cut short.
bool FitsSocketAddress(const std::string &path);
// A non-blocking stream socket connected to path; invalid, with the reason
// in *error (and the errno in *errorNumber, when given), when nobody
// accepts there. EAGAIN: a server that is there has too many connections
// waiting to take another.
UniqueFd ConnectUnixSocket(const std::string &path, std::string *error, int *errorNumber = nullptr);

} // namespace orvane
