#include "usb/DeviceLock.h"

#include "usb/windows/WideText.h"

#include <windows.h>

#include <knownfolders.h>

#include <cstdlib>
#include <string>

namespace orvane {

namespace {

// The locked byte lies past the process id written at the start, so that a
// refused program can still read who holds the device.
constexpr DWORD kLockedOffset = 0x40000000;

// The folder in ProgramData that holds the locks.
constexpr char kLockFolder[] = "Orvane";

pid_t ReadPid(HANDLE file) {
  char text[24] = {};
  DWORD read = 0;
  OVERLAPPED at{};
  if (!::ReadFile(file, text, sizeof text - 1, &read, &at) || read == 0)
    return 0;
  const long pid = std::strtol(text, nullptr, 10);
  return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

// "C:\..." or "\\server\..." : a relative folder would put the lock
// wherever the program happens to run.
bool IsAbsolute(const std::string &path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  const bool unc = path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
  return drive || unc;
}

std::string SystemReason(DWORD code) {
  const std::string text = SystemMessage(code);
  const std::string number = "error " + std::to_string(code);
  return text.empty() ? number : text + " (" + number + ")";
}

HANDLE OpenLockFile(const std::wstring &path, bool *writable) {
  // No link is followed: in a folder every user can write to, a link could
  // point the lock at someone else's file.
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS, kFlags, nullptr);
  *writable = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    // Made by another user, whose file others may only read: a byte-range
    // lock needs no more than that, only the holder's id stays unwritten.
    file = ::CreateFileW(path.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr);
  }
  return file;
}

} // namespace

// ProgramData, not the user's local application data: the lock must be
// the same file for every program, every user and every environment on the
// host (two users updating one dongle through two sessions, a service and
// a desktop program), and LocalAppData is a different folder for each
// user. Should the system not name it, the text below is no absolute path,
// so every lock is refused rather than taken nowhere.
std::string DeviceLock::DefaultDirectory() {
  std::string why;
  if (const auto programData = KnownFolder(FOLDERID_ProgramData, &why))
    return *programData + "\\" + kLockFolder;
  return "(the ProgramData folder: " + why + ")";
}

// The system drops a byte-range lock with the handle, also when the holder
// crashes: no lock outlives its program.
DeviceLock::Outcome DeviceLock::TryAcquire(const std::string &directory, const std::string &key) {
  if (Held())
    return Outcome::Acquired;
  holder_ = 0;
  error_.clear();
  const std::string path = directory + "\\" + FileName(key);
  if (!IsAbsolute(directory)) {
    error_ = "cannot use the device lock " + path + ": its folder is not an absolute path";
    return Outcome::Failed;
  }
  const std::wstring widePath = WideFromUtf8(path);
  // The lock folder itself is made on first use; one that cannot be made
  // shows in the file's own failure below.
  ::CreateDirectoryW(WideFromUtf8(directory).c_str(), nullptr);
  bool writable = false;
  const HANDLE file = OpenLockFile(widePath, &writable);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = "cannot use the device lock " + path + ": " + SystemReason(::GetLastError());
    return Outcome::Failed;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    ::CloseHandle(file);
    error_ = "cannot use the device lock " + path + ": it is not a plain file (a link is not accepted)";
    return Outcome::Failed;
  }
  OVERLAPPED at{};
  at.Offset = kLockedOffset;
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD why = ::GetLastError();
    holder_ = ReadPid(file);
    ::CloseHandle(file);
    if (why == ERROR_LOCK_VIOLATION || why == ERROR_IO_PENDING)
      return Outcome::Busy;
    error_ = "cannot lock " + path + ": " + SystemReason(why);
    return Outcome::Failed;
  }
  if (writable) {
    // The id says who holds it; it is read only while the lock is held, so
    // a crashed holder's id is never shown. Without it the lock still holds.
    const std::string pid = std::to_string(::GetCurrentProcessId()) + "\n";
    DWORD written = 0;
    OVERLAPPED start{};
    if (::WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &written, &start)) {
      LARGE_INTEGER end{};
      end.QuadPart = static_cast<LONGLONG>(pid.size());
      if (::SetFilePointerEx(file, end, nullptr, FILE_BEGIN))
        ::SetEndOfFile(file);
    }
  }
  fd_ = 1;
  handle_ = file;
  return Outcome::Acquired;
}

void DeviceLock::Release() {
  if (fd_ < 0)
    return;
  const HANDLE file = static_cast<HANDLE>(handle_);
  // Unlocked before the handle goes: the system frees a lock left on a
  // closed handle only when it gets round to it, and a program that tries
  // the device right after would find it still held.
  OVERLAPPED at{};
  at.Offset = kLockedOffset;
  ::UnlockFileEx(file, 0, 1, 0, &at);
  ::CloseHandle(file);
  handle_ = nullptr;
  fd_ = -1;
}

} // namespace orvane
