#include "usb/windows/VirtualPipe.h"

#include "usb/windows/WideText.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace orvane {

namespace {

// A cancelled pipe call comes back at once; one that does not within this
// is given up.
constexpr DWORD kCancelGraceMs = 1000;
// A marker holds one pipe name: anything longer is not a marker of ours.
constexpr DWORD kLongestMarker = 256;

bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-';
}

bool MeansClosed(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}

// One read or write's own memory: the system may use it until the call is back.
struct PipeCall {
  OVERLAPPED overlapped{};
  UniqueHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::vector<uint8_t> buffer;
};

PipeOutcome OneCall(HANDLE pipe, bool write, std::span<uint8_t> chunk, const PipeDeadline &deadline, DWORD *moved) {
  *moved = 0;
  auto call = std::make_unique<PipeCall>();
  if (!call->event.valid())
    return PipeOutcome::Failed;
  call->overlapped.hEvent = call->event.get();
  const DWORD length = static_cast<DWORD>(std::min<size_t>(chunk.size(), 1u << 20));
  if (write)
    call->buffer.assign(chunk.begin(), chunk.begin() + length);
  else
    call->buffer.resize(length);
  const BOOL started = write ? ::WriteFile(pipe, call->buffer.data(), length, nullptr, &call->overlapped)
                             : ::ReadFile(pipe, call->buffer.data(), length, nullptr, &call->overlapped);
  if (!started && ::GetLastError() != ERROR_IO_PENDING)
    return MeansClosed(::GetLastError()) ? PipeOutcome::Closed : PipeOutcome::Failed;
  if (::WaitForSingleObject(call->event.get(), deadline.RemainingMs()) != WAIT_OBJECT_0) {
    ::CancelIoEx(pipe, &call->overlapped);
    if (::WaitForSingleObject(call->event.get(), kCancelGraceMs) != WAIT_OBJECT_0)
      static_cast<void>(call.release()); // the system's now: freeing it would hand it memory in use
    return PipeOutcome::TimedOut;
  }
  if (!::GetOverlappedResult(pipe, &call->overlapped, moved, FALSE))
    return MeansClosed(::GetLastError()) ? PipeOutcome::Closed : PipeOutcome::Failed;
  if (!write && *moved)
    std::memcpy(chunk.data(), call->buffer.data(), std::min<size_t>(*moved, chunk.size()));
  return *moved ? PipeOutcome::Done : PipeOutcome::Failed;
}

PipeOutcome Transfer(HANDLE pipe, bool write, std::span<uint8_t> bytes, const PipeDeadline &deadline) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD moved = 0;
    const PipeOutcome outcome = OneCall(pipe, write, bytes.subspan(done), deadline, &moved);
    if (outcome != PipeOutcome::Done)
      return outcome;
    done += moved;
  }
  return PipeOutcome::Done;
}

// The user a process runs as, as a copy of its SID.
std::optional<std::vector<uint8_t>> ProcessUser(HANDLE process) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &raw))
    return std::nullopt;
  const UniqueHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER))
    return std::nullopt;
  std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD));
  if (!::GetTokenInformation(token.get(), TokenUser, storage.data(), size, &size))
    return std::nullopt;
  const PSID sid = reinterpret_cast<const TOKEN_USER *>(storage.data())->User.Sid;
  if (!::IsValidSid(sid))
    return std::nullopt;
  const auto *bytes = static_cast<const uint8_t *>(sid);
  return std::vector<uint8_t>(bytes, bytes + ::GetLengthSid(sid));
}

} // namespace

std::string VirtualPipeName(const std::string &deviceName) {
  // The process id keeps two servers of one name apart, also of two users.
  return std::string(kVirtualPipePrefix) + std::to_string(::GetCurrentProcessId()) + "-" + deviceName;
}

bool IsVirtualPipeName(std::string_view text) {
  if (!text.starts_with(kVirtualPipePrefix) || text.size() == kVirtualPipePrefix.size() || text.size() > 200)
    return false;
  return std::all_of(text.begin() + static_cast<ptrdiff_t>(kVirtualPipePrefix.size()), text.end(), IsNameCharacter);
}

std::optional<std::string> ReadVirtualMarker(const std::string &path, std::string *why) {
  // Shared for deleting too: a running server holds its marker so, and the
  // system removes it with the server.
  const UniqueHandle marker(::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!marker.valid()) {
    *why = path + ": " + SystemMessage(::GetLastError());
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(marker.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    *why = path + " is not a plain file (a link is not accepted)";
    return std::nullopt;
  }
  char text[kLongestMarker + 1] = {};
  DWORD read = 0;
  if (!::ReadFile(marker.get(), text, kLongestMarker + 1, &read, nullptr) || read > kLongestMarker) {
    *why = path + " is not a virtual device marker";
    return std::nullopt;
  }
  std::string name(text, read);
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
    name.pop_back();
  if (!IsVirtualPipeName(name)) {
    *why = path + " does not name a virtual device pipe";
    return std::nullopt;
  }
  return name;
}

DWORD PipeDeadline::RemainingMs() const {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<DWORD>(std::min<int64_t>(left.count(), 0x7FFFFFFF));
}

PipeOutcome WritePipe(HANDLE pipe, std::span<const uint8_t> bytes, const PipeDeadline &deadline) {
  // Written from a copy: the span itself is never handed to the system.
  std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  return Transfer(pipe, true, copy, deadline);
}

PipeOutcome ReadPipe(HANDLE pipe, std::span<uint8_t> bytes, const PipeDeadline &deadline) {
  return Transfer(pipe, false, bytes, deadline);
}

bool ServedByThisUser(HANDLE pipe, std::string *why) {
  ULONG serverId = 0;
  if (!::GetNamedPipeServerProcessId(pipe, &serverId)) {
    *why = "the pipe does not tell its server (" + SystemMessage(::GetLastError()) + ")";
    return false;
  }
  const UniqueHandle server(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, serverId));
  const auto theirs = server.valid() ? ProcessUser(server.get()) : std::nullopt;
  const auto ours = ProcessUser(::GetCurrentProcess());
  if (!theirs || !ours) {
    *why = "the user of the serving process " + std::to_string(serverId) + " cannot be told";
    return false;
  }
  if (*theirs != *ours) {
    *why = "served by another user (process " + std::to_string(serverId) + ")";
    return false;
  }
  return true;
}

HANDLE ConnectPipe(const std::string &pipeName, DWORD waitMs) {
  const std::wstring wide = WideFromUtf8(pipeName);
  // Identification only: the server may learn who we are, not act as us.
  constexpr DWORD kFlags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
  HANDLE pipe = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, kFlags, nullptr);
  // Every instance taken: the server makes the next at once, so one short wait.
  if (pipe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY &&
      ::WaitNamedPipeW(wide.c_str(), std::max<DWORD>(waitMs, 1)))
    pipe = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, kFlags, nullptr);
  return pipe;
}

} // namespace orvane
