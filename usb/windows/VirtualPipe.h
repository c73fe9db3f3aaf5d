#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Virtual devices on Windows: each is served on a named pipe of its own,
// and announced by a marker file "<name>.pipe" in the marker folder
// (%LOCALAPPDATA%\vantrel-vusb) that holds the pipe's name. The pipe
// namespace itself cannot be listed everywhere (not under Wine), the folder
// can; and it is the user's own.

inline constexpr std::string_view kVirtualMarkerSuffix = ".pipe";
inline constexpr std::string_view kVirtualPipePrefix = "\\\\.\\pipe\\vantrel-vusb-";

// The pipe a server of this process serves the device name on.
std::string VirtualPipeName(const std::string &deviceName);
// Whether text is a pipe name a server could have written: the prefix, then
// [A-Za-z0-9_.-] only. Anything else in a marker is not followed.
bool IsVirtualPipeName(std::string_view text);

// The pipe's name from the marker file at path; nullopt, with the reason,
// when the marker cannot be read or names no virtual device pipe.
std::optional<std::string> ReadVirtualMarker(const std::string &path, std::string *why);

// Pipe I/O waits on the peer, never longer than this. These are waits for
// bytes, not sleeps: they end as soon as the peer answers or goes away.
class PipeDeadline {
public:
  explicit PipeDeadline(int timeoutMs)
      : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}
  DWORD RemainingMs() const;

private:
  std::chrono::steady_clock::time_point end_;
};

enum class PipeOutcome { Done, Closed, TimedOut, Failed };

// All bytes written, or all bytes read, on an overlapped pipe handle.
// A call the system does not give back after its cancellation is left to
// it with memory of its own, so no wait is without end.
PipeOutcome WritePipe(HANDLE pipe, std::span<const uint8_t> bytes, const PipeDeadline &deadline);
PipeOutcome ReadPipe(HANDLE pipe, std::span<uint8_t> bytes, const PipeDeadline &deadline);

// Whether the process at the server end of a connected pipe runs as the
// same user as this one; the reason in *why when not, or when it cannot
// be told.
bool ServedByThisUser(HANDLE pipe, std::string *why);

// A client end of the pipe, overlapped and without letting the server act
// in our name; INVALID_HANDLE_VALUE, with the system's error left, when no
// server accepts there.
HANDLE ConnectPipe(const std::string &pipeName, DWORD waitMs);

// Owns one kernel handle.
class UniqueHandle {
public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle &&other) noexcept : handle_(other.release()) {}
  UniqueHandle &operator=(UniqueHandle &&other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle &) = delete;
  UniqueHandle &operator=(const UniqueHandle &) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr; }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset(HANDLE handle = nullptr) {
    if (handle_)
      ::CloseHandle(handle_);
    handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }

private:
  HANDLE handle_ = nullptr;
};

} // namespace orvane
