#pragma once

#include <sys/types.h>

#include <string>

namespace orvane {

// An advisory lock on one device, shared by every program of this tool:
// flock on a file named for the device (a byte-range lock on Windows), so
// the system drops it with the process that held it and a crash never
// leaves it behind.
class DeviceLock {
public:
  enum class Outcome { Acquired, Busy, Failed };

  DeviceLock() = default;
  ~DeviceLock() { Release(); }
  DeviceLock(const DeviceLock &) = delete;
  DeviceLock &operator=(const DeviceLock &) = delete;

  // $XDG_RUNTIME_DIR for a user session, /run/lock for root, else /tmp;
  // on Windows the host-wide ProgramData folder's Orvane folder.
  static std::string DefaultDirectory();
  // The lock file's name for a device key: unsafe characters become '_'.
  static std::string FileName(const std::string &key);

  // Never waits. Busy when another process holds it, with that process's
  // id in HolderPid(); Failed when the file cannot be made, with the reason
  // in Error(). Taking a lock already held here is Acquired.
  Outcome TryAcquire(const std::string &directory, const std::string &key);
  void Release();
  bool Held() const { return fd_ >= 0; }
  pid_t HolderPid() const { return holder_; }
  const std::string &Error() const { return error_; }
  // "device busy: another update is running (pid N)"
  std::string BusyMessage() const;

private:
  int fd_ = -1;            // the lock file; on Windows only whether one is open
  void *handle_ = nullptr; // the lock file's handle on Windows
  pid_t holder_ = 0;
  std::string error_;
};

} // namespace orvane
