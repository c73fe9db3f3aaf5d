#pragma once

#include <sys/types.h>

#include <string>

namespace orvane {

// An advisory lock on one device, shared by every program of this tool:
// flock on a file that stands for the device (a byte-range lock on
// Windows), so the system drops it with the process that held it and a
// crash never leaves it behind.
class DeviceLock {
public:
  // Unreachable: the device itself could not be reached to lock it (gone,
  // or closed to this user); its bus tells why.
  enum class Outcome { Acquired, Busy, Failed, Unreachable };

  DeviceLock() = default;
  ~DeviceLock() { Release(); }
  DeviceLock(const DeviceLock &) = delete;
  DeviceLock &operator=(const DeviceLock &) = delete;

  // Where a device without a lock file of its own is locked: one folder
  // for every user and session on Linux (/run/lock), the host-wide
  // ProgramData folder's Orvane folder on Windows.
  static std::string DefaultDirectory();
  // The lock file's name for a device key: unsafe characters become '_'.
  static std::string FileName(const std::string &key);

  // Never waits. Busy when another process holds it, with that process's
  // id in HolderPid(); Failed when the file cannot be made or used, with the
  // reason in Error(). Taking a lock already held here is Acquired.
  Outcome TryAcquire(const std::string &directory, const std::string &key);
  // The same on the file name in the folder opened as directoryFd, made
  // there when missing but never through a link; shown as shownPath.
  // Linux only.
  Outcome TryAcquireIn(int directoryFd, const std::string &name, const std::string &shownPath);
  // The same on a file that stands for the device, which its bus has
  // opened (a device node, a lock file beside a virtual device); takes fd
  // and names the file name in messages. Taking the file already held here
  // again is Acquired; another file is locked first and then replaces the
  // one held, so a device that came back under a new node stays locked
  // throughout. Linux only.
  Outcome TryAcquireOpened(int fd, const std::string &name);
  void Release();
  bool Held() const { return fd_ >= 0; }
  pid_t HolderPid() const { return holder_; }
  const std::string &Error() const { return error_; }
  // "device busy: another update is running (pid N)"
  std::string BusyMessage() const;

private:
  int fd_ = -1;            // the lock file; on Windows only whether one is open
  void *handle_ = nullptr; // the lock file's handle on Windows
  // Which file is held, to tell it from another one (Linux).
  unsigned long long heldDevice_ = 0;
  unsigned long long heldInode_ = 0;
  pid_t holder_ = 0;
  std::string error_;
};

} // namespace orvane
