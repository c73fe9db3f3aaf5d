#include "usb/DeviceLock.h"

#include "usb/ErrnoText.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace orvane {

namespace {

// The process holding a whole-file lock on the file, as the kernel lists
// it: "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF". 0 when not listed.
pid_t FlockHolder(const struct stat &file) {
  char where[64];
  std::snprintf(where, sizeof where, "%02x:%02x:%llu", ::major(file.st_dev), ::minor(file.st_dev),
                static_cast<unsigned long long>(file.st_ino));
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, advisory, access, pid, place;
    fields >> number >> kind >> advisory >> access >> pid >> place;
    if (kind == "FLOCK" && place == where)
      return static_cast<pid_t>(std::strtol(pid.c_str(), nullptr, 10));
  }
  return 0;
}

// The id a holder wrote into a lock file, for systems that do not list locks.
pid_t WrittenPid(int fd) {
  char text[24] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0)
    return 0;
  const long pid = std::strtol(text, nullptr, 10);
  return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

// Why the opened file cannot stand for a device, or empty. A device node
// is the device's own; a plain file must be ours alone: one that another
// user owns could be removed and made anew under a holder, and one with
// more names could be reached under another one.
std::string Unfit(const struct stat &file) {
  if (S_ISCHR(file.st_mode))
    return {};
  if (!S_ISREG(file.st_mode))
    return "it is not a regular file";
  if (file.st_uid != ::geteuid() && file.st_uid != 0)
    return "it belongs to another user";
  if (file.st_nlink != 1)
    return "it has more than one name";
  return {};
}

} // namespace

std::string DeviceLock::DefaultDirectory() {
  // The same folder whatever the environment says: a program started
  // with sudo, from cron or in a desktop session must meet the same lock.
  return "/run/lock";
}

DeviceLock::Outcome DeviceLock::TryAcquire(const std::string &directory, const std::string &key) {
  const std::string path = directory + "/" + FileName(key);
  return TryAcquireIn(AT_FDCWD, path, path);
}

DeviceLock::Outcome DeviceLock::TryAcquireIn(int directoryFd, const std::string &name, const std::string &shownPath) {
  holder_ = 0;
  error_.clear();
  // No link is followed: in a shared directory a link could point the lock
  // at someone else's file.
  const int fd =
      ::openat(directoryFd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int why = errno;
    error_ = "cannot use the device lock " + shownPath + ": " +
             (why == ELOOP ? std::string("it is a symbolic link") : ErrnoText(why));
    return Outcome::Failed;
  }
  return TryAcquireOpened(fd, shownPath);
}

DeviceLock::Outcome DeviceLock::TryAcquireOpened(int fd, const std::string &name) {
  holder_ = 0;
  error_.clear();
  struct stat file {};
  if (::fstat(fd, &file) != 0) {
    error_ = "cannot use the device lock " + name + ": " + ErrnoText(errno);
    ::close(fd);
    return Outcome::Failed;
  }
  if (const std::string why = Unfit(file); !why.empty()) {
    error_ = "cannot use the device lock " + name + ": " + why;
    ::close(fd);
    return Outcome::Failed;
  }
  // A second lock on the same file from here would be refused by the first.
  if (Held() && file.st_dev == heldDevice_ && file.st_ino == heldInode_) {
    ::close(fd);
    return Outcome::Acquired;
  }
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int why = errno;
    holder_ = FlockHolder(file);
    if (holder_ == 0 && S_ISREG(file.st_mode))
      holder_ = WrittenPid(fd);
    ::close(fd);
    if (why == EWOULDBLOCK)
      return Outcome::Busy;
    error_ = "cannot lock " + name + ": " + ErrnoText(why);
    return Outcome::Failed;
  }
  // The id says who holds it; it is read only while the lock is held, so a
  // crashed holder's id is never shown.
  if (S_ISREG(file.st_mode)) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
      // The lock holds without the id; only the busy message would lack it.
    }
  }
  Release();
  fd_ = fd;
  heldDevice_ = file.st_dev;
  heldInode_ = file.st_ino;
  return Outcome::Acquired;
}

void DeviceLock::Release() {
  if (fd_ < 0)
    return;
  ::close(fd_);
  fd_ = -1;
  heldDevice_ = 0;
  heldInode_ = 0;
}

} // namespace orvane
