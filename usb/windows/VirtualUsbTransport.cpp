#include "usb/VirtualUsbTransport.h"

#include "usb/VirtualDeviceName.h"
#include "usb/VirtualUsbServer.h"
#include "usb/VirtualUsbWire.h"
#include "usb/VirtualWireConnection.h"
#include "usb/windows/VirtualPipe.h"
#include "usb/windows/WideText.h"

#include <windows.h>

#include <algorithm>

// The client of virtual devices on Windows: the marker files in the marker
// folder name the pipes; a pipe counts only when its server runs as this
// user, as a socket on Linux counts only when its peer has our uid.

namespace orvane {

namespace {

// A pipe whose every instance is taken gets this long for the next.
constexpr DWORD kBusyPipeWaitMs = 200;

// One request, one response. nullopt when the server goes away, takes too
// long or sends something that is not a frame; *outcome says which.
std::optional<std::vector<uint8_t>> Exchange(HANDLE pipe, std::span<const uint8_t> body, int timeoutMs,
                                             PipeOutcome *outcome = nullptr) {
  PipeOutcome ignored = PipeOutcome::Failed;
  if (!outcome)
    outcome = &ignored;
  const PipeDeadline deadline(timeoutMs);
  if ((*outcome = WritePipe(pipe, vusb::Frame(body), deadline)) != PipeOutcome::Done)
    return std::nullopt;
  uint8_t header[vusb::kFrameHeaderSize];
  if ((*outcome = ReadPipe(pipe, header, deadline)) != PipeOutcome::Done)
    return std::nullopt;
  const auto length = vusb::ParseFrameHeader(header);
  *outcome = PipeOutcome::Failed;
  if (!length)
    return std::nullopt;
  std::vector<uint8_t> response(*length);
  if ((*outcome = ReadPipe(pipe, response, deadline)) != PipeOutcome::Done)
    return std::nullopt;
  return response;
}

std::string MarkerPath(const std::string &directory, const std::string &name) {
  return directory + "\\" + name + std::string(kVirtualMarkerSuffix);
}

// Connected to the device the marker names, served by this user; invalid
// with the reason otherwise.
UniqueHandle ConnectToDevice(const std::string &directory, const std::string &name, std::string *why) {
  const auto pipeName = ReadVirtualMarker(MarkerPath(directory, name), why);
  if (!pipeName)
    return {};
  UniqueHandle pipe(ConnectPipe(*pipeName, kBusyPipeWaitMs));
  if (!pipe.valid()) {
    *why = "virtual device " + name + " does not answer at " + *pipeName + " (" + SystemMessage(::GetLastError()) + ")";
    return {};
  }
  std::string whose;
  if (!ServedByThisUser(pipe.get(), &whose)) {
    *why = "virtual device " + name + ": " + whose;
    return {};
  }
  return pipe;
}

// Whether the marker folder is one to look in: a folder, not a link to one.
// Absent: no devices, and nothing to report.
bool UsableFolder(const std::string &directory, std::string *problem) {
  const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(directory).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return false;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    *problem = "virtual devices not listed: " + directory + " is not a folder (a link is not accepted)";
    return false;
  }
  return true;
}

// Device names of the plain marker files in the folder, sorted so the
// listing order is stable.
std::vector<std::string> MarkerNames(const std::string &directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  const std::wstring pattern = WideFromUtf8(directory + "\\*" + std::string(kVirtualMarkerSuffix));
  const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    const std::string file = Utf8FromWide(found.cFileName);
    if (file.size() <= kVirtualMarkerSuffix.size() || !file.ends_with(kVirtualMarkerSuffix))
      continue;
    const std::string name = file.substr(0, file.size() - kVirtualMarkerSuffix.size());
    if (IsValidVirtualDeviceName(name))
      names.push_back(name);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

class VirtualPipeConnection final : public VirtualWireConnection {
public:
  VirtualPipeConnection(UniqueHandle pipe, int timeoutMs) : pipe_(std::move(pipe)), timeoutMs_(timeoutMs) {}

private:
  bool WireOpen() const override { return pipe_.valid(); }
  void CloseWire() override { pipe_.reset(); }
  Answer Exchange(std::span<const uint8_t> request) override {
    PipeOutcome outcome = PipeOutcome::Failed;
    auto body = orvane::Exchange(pipe_.get(), request, timeoutMs_, &outcome);
    return {std::move(body), outcome == PipeOutcome::TimedOut};
  }

  UniqueHandle pipe_;
  int timeoutMs_;
};

} // namespace

VirtualUsbTransport::VirtualUsbTransport(std::string directory) : directory_(std::move(directory)) {}

VirtualUsbTransport::VirtualUsbTransport(std::string directory, Timeouts timeouts)
    : directory_(std::move(directory)), timeouts_(timeouts) {}

std::string VirtualUsbTransport::Directory() const {
  return directory_.empty() ? VirtualDeviceDirectory() : directory_;
}

std::optional<UsbDeviceInfo> VirtualUsbTransport::DescribeIn(const std::string &directory, const std::string &name) {
  std::string why;
  const UniqueHandle pipe = ConnectToDevice(directory, name, &why);
  if (!pipe.valid())
    return std::nullopt; // stale, or not ours
  const auto body = Exchange(pipe.get(), vusb::EncodeDescribeRequest(), timeouts_.describeMs);
  auto info = body ? vusb::ParseDescribeResponse(*body) : std::nullopt;
  if (info)
    info->location = name;
  return info;
}

std::vector<UsbDeviceInfo> VirtualUsbTransport::Enumerate() {
  std::vector<UsbDeviceInfo> devices;
  const std::string directory = Directory();
  listingProblem_.clear();
  if (directory.empty() || !UsableFolder(directory, &listingProblem_))
    return devices;
  for (const std::string &name : MarkerNames(directory))
    if (auto info = DescribeIn(directory, name))
      devices.push_back(std::move(*info));
  return devices;
}

std::optional<UsbDeviceInfo> VirtualUsbTransport::Describe(const std::string &location) {
  const std::string directory = Directory();
  std::string problem;
  if (!IsValidVirtualDeviceName(location) || directory.empty() || !UsableFolder(directory, &problem))
    return std::nullopt;
  return DescribeIn(directory, location);
}

bool VirtualUsbTransport::StillAttached(const std::string &location) {
  // A marker nobody serves any more names a pipe that no longer exists, and
  // a server closes a connection to an unplugged device at once; a server
  // busy with a late answer has every instance taken or says nothing yet.
  const std::string directory = Directory();
  std::string why;
  if (!IsValidVirtualDeviceName(location) || directory.empty() || !UsableFolder(directory, &why))
    return false;
  const auto pipeName = ReadVirtualMarker(MarkerPath(directory, location), &why);
  if (!pipeName)
    return false;
  UniqueHandle pipe(ConnectPipe(*pipeName, kBusyPipeWaitMs));
  if (!pipe.valid()) {
    const DWORD error = ::GetLastError();
    return error == ERROR_PIPE_BUSY || error == ERROR_SEM_TIMEOUT;
  }
  if (!ServedByThisUser(pipe.get(), &why))
    return false;
  // A server that answers, or is too busy to answer in time, is there.
  PipeOutcome outcome = PipeOutcome::Failed;
  const bool answered = Exchange(pipe.get(), vusb::EncodeDescribeRequest(), timeouts_.describeMs, &outcome).has_value();
  return answered || outcome == PipeOutcome::TimedOut;
}

// A pipe has no file of its own to lock: the device is locked by its name
// in the host-wide lock folder, as every device on Windows is.
std::optional<DeviceLock::Outcome> VirtualUsbTransport::LockDevice(const std::string &, DeviceLock &, DeviceError *) {
  return std::nullopt;
}

std::unique_ptr<UsbConnection> VirtualUsbTransport::Connect(const std::string &location, DeviceError *error) {
  DeviceError ignored;
  if (!error)
    error = &ignored;
  if (!IsValidVirtualDeviceName(location)) {
    *error = {DeviceErrorKind::NoDevice, "no virtual device named \"" + location + "\""};
    return nullptr;
  }
  const std::string directory = Directory();
  std::string why = directory + " is not a folder (a link is not accepted)";
  UniqueHandle pipe;
  std::string problem;
  if (!directory.empty() && UsableFolder(directory, &problem))
    pipe = ConnectToDevice(directory, location, &why);
  if (!pipe.valid()) {
    *error = {DeviceErrorKind::Failed, why};
    return nullptr;
  }
  return std::make_unique<VirtualPipeConnection>(std::move(pipe), timeouts_.controlMs);
}

} // namespace orvane
