#include "usb/DeviceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvane {

namespace {

bool UsableDirectory(const char *path) {
  return path && path[0] == '/' && ::access(path, W_OK | X_OK) == 0;
}

pid_t ReadPid(int fd) {
  char text[24] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0)
    return 0;
  const long pid = std::strtol(text, nullptr, 10);
  return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

} // namespace

std::string DeviceLock::DefaultDirectory() {
  const char *runtime = std::getenv("XDG_RUNTIME_DIR");
  if (UsableDirectory(runtime))
    return runtime;
  if (::geteuid() == 0 && UsableDirectory("/run/lock"))
    return "/run/lock";
  return "/tmp";
}

DeviceLock::Outcome DeviceLock::TryAcquire(const std::string &directory, const std::string &key) {
  if (Held())
    return Outcome::Acquired;
  holder_ = 0;
  error_.clear();
  const std::string path = directory + "/" + FileName(key);
  // No link is followed: in a shared directory a link could point the lock
  // at someone else's file.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = "cannot use the device lock " + path + ": " + std::strerror(errno);
    return Outcome::Failed;
  }
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int why = errno;
    holder_ = ReadPid(fd);
    ::close(fd);
    if (why == EWOULDBLOCK)
      return Outcome::Busy;
    error_ = "cannot lock " + path + ": " + std::strerror(why);
    return Outcome::Failed;
  }
  // The id says who holds it; it is read only while the lock is held, so a
  // crashed holder's id is never shown.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    // The lock holds without the id; only the busy message would lack it.
  }
  fd_ = fd;
  return Outcome::Acquired;
}

void DeviceLock::Release() {
  if (fd_ < 0)
    return;
  ::close(fd_);
  fd_ = -1;
}

} // namespace orvane
