#include "usb/DeviceLock.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace orvane {

namespace {

// The locked byte lies past the process id written at the start, so that a
// refused program can still read who holds the device.
constexpr DWORD kLockedOffset = 0x40000000;

std::wstring Wide(const std::string &utf8) {
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  if (length <= 0)
    return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

pid_t ReadPid(HANDLE file) {
  char text[24] = {};
  DWORD read = 0;
  OVERLAPPED at{};
  if (!::ReadFile(file, text, sizeof text - 1, &read, &at) || read == 0)
    return 0;
  const long pid = std::strtol(text, nullptr, 10);
  return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

} // namespace

std::string DeviceLock::DefaultDirectory() {
  if (const char *local = std::getenv("LOCALAPPDATA"); local && local[0])
    return local;
  char temp[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof temp, temp);
  return length > 0 && length <= MAX_PATH ? std::string(temp, length) : std::string(".");
}

// The system drops a byte-range lock with the handle, also when the holder
// crashes: no lock outlives its program.
DeviceLock::Outcome DeviceLock::TryAcquire(const std::string &directory, const std::string &key) {
  if (Held())
    return Outcome::Acquired;
  holder_ = 0;
  error_.clear();
  const std::string path = directory + "\\" + FileName(key);
  const HANDLE file =
      ::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = "cannot use the device lock " + path + " (error " + std::to_string(::GetLastError()) + ")";
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
    error_ = "cannot lock " + path + " (error " + std::to_string(why) + ")";
    return Outcome::Failed;
  }
  const std::string pid = std::to_string(::GetCurrentProcessId()) + "\n";
  DWORD written = 0;
  OVERLAPPED start{};
  ::WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &written, &start);
  ::SetFilePointer(file, static_cast<LONG>(pid.size()), nullptr, FILE_BEGIN);
  ::SetEndOfFile(file);
  fd_ = 1;
  handle_ = file;
  return Outcome::Acquired;
}

void DeviceLock::Release() {
  if (fd_ < 0)
    return;
  ::CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  fd_ = -1;
}

} // namespace orvane
