#include "usb/windows/WindowsDeviceBus.h"

#include "usb/WindowsErrorReason.h"
#include "usb/windows/WideText.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace orvane {

namespace {

GUID ToSystemGuid(const Guid &guid) {
  GUID system{};
  system.Data1 = guid.data1;
  system.Data2 = guid.data2;
  system.Data3 = guid.data3;
  for (size_t i = 0; i < guid.data4.size(); ++i)
    system.Data4[i] = guid.data4[i];
  return system;
}

DeviceError Reason(WindowsDeviceCall call, DWORD code, const std::string &path = {}) {
  return {WindowsErrorKind(call, code), WindowsErrorReason(call, code, SystemMessage(code), path)};
}

DeviceError Failure(std::string why) {
  return {DeviceErrorKind::Failed, std::move(why)};
}

struct DeviceInfoSetCloser {
  void operator()(void *set) const { ::SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(set)); }
};
using DeviceInfoSet = std::unique_ptr<void, DeviceInfoSetCloser>;

// One driver call's own memory: the driver may write to it until the call
// is back, so it never belongs to the caller.
struct PendingCall {
  OVERLAPPED overlapped{};
  std::vector<uint8_t> in;
  std::vector<uint8_t> out;
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~PendingCall() {
    if (event)
      ::CloseHandle(event);
  }
};

// The device path of one interface; nullopt when the detail query fails,
// which skips that interface only.
std::optional<std::string> InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA &interfaceData) {
  DWORD required = 0;
  ::SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
    return std::nullopt;
  // DWORD elements keep the record aligned as the system expects it.
  std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(storage.data());
  // The size of the fixed part, not of the whole record.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (!::SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr, nullptr))
    return std::nullopt;
  const wchar_t *begin = detail->DevicePath;
  const auto *end = reinterpret_cast<const wchar_t *>(reinterpret_cast<const char *>(storage.data()) + required);
  size_t length = 0;
  while (begin + length < end && begin[length] != L'\0')
    ++length;
  return Utf8FromWide(std::wstring(begin, length));
}

// Whether the system still has an interface at path: opened for no access
// at all, which no other holder of the device can refuse.
bool InterfaceVanished(const std::string &path) {
  const HANDLE probe = ::CreateFileW(WideFromUtf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
    return false;
  }
  return WindowsErrorKind(WindowsDeviceCall::Open, ::GetLastError()) == DeviceErrorKind::Gone;
}

// An interface path ends in its interface class: the audio driver's class
// names the audio driver, any other the generic one.
DriverKind DriverOf(const std::string &path) {
  std::string lower = path;
  for (char &c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string audio = kGuidAudioDriver.text();
  for (char &c : audio)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(audio) != std::string::npos ? DriverKind::Audio : DriverKind::Generic;
}

bool MeansTimeOut(DWORD code) {
  return code == win32::kSemTimeout || code == win32::kTimeout || code == win32::kOperationAborted;
}

} // namespace

bool WindowsDeviceBus::StillAttached(const std::string &path) {
  return !InterfaceVanished(path);
}

WindowsDeviceBus::WindowsDeviceBus(unsigned timeoutMs, unsigned cancelGraceMs)
    : timeoutMs_(timeoutMs), cancelGraceMs_(cancelGraceMs) {}

bool WindowsDeviceBus::Fail(DeviceError error) {
  lastError_ = std::move(error);
  return false;
}

std::optional<std::vector<std::string>> WindowsDeviceBus::ListInterfaces(const Guid &interfaceClass) {
  const GUID classGuid = ToSystemGuid(interfaceClass);
  const HDEVINFO raw = ::SetupDiGetClassDevsW(&classGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (raw == INVALID_HANDLE_VALUE)
    return std::nullopt;
  const DeviceInfoSet set(raw);
  std::vector<std::string> paths;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    // Any failure ends the walk, not only "no more items": an index that
    // keeps failing must not keep the enumeration going for ever.
    if (!::SetupDiEnumDeviceInterfaces(raw, nullptr, &classGuid, index, &interfaceData))
      break;
    if (auto path = InterfacePath(raw, interfaceData))
      paths.push_back(std::move(*path));
  }
  return paths;
}

DeviceHandle WindowsDeviceBus::Open(const std::string &path) {
  // Overlapped, so that every driver call can be given a deadline.
  const HANDLE handle =
      ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    lastError_ = Reason(WindowsDeviceCall::Open, ::GetLastError(), path);
    return kNullHandle;
  }
  const auto device = reinterpret_cast<DeviceHandle>(handle);
  open_[device] = OpenInterface{path, DriverOf(path), {}};
  return device;
}

void WindowsDeviceBus::NoteSilence(OpenInterface &device, bool timedOut) {
  if (!device.path.empty() && InterfaceVanished(device.path))
    device.watch.Gone();
  else if (timedOut)
    device.watch.TimedOut();
}

DriverKind WindowsDeviceBus::DriverFor(DeviceHandle handle) const {
  const auto it = open_.find(handle);
  return it == open_.end() ? DriverKind::Generic : it->second.driver;
}

bool WindowsDeviceBus::Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) {
  const DriverCall call = TransferCall(DriverFor(handle), setup, data);
  return DriverIoControl(handle, call.code, call.block.data(), call.block.size(), data, call.outLength, bytesReturned);
}

bool WindowsDeviceBus::Probe(DeviceHandle handle) {
  const DriverCall call = ProbeCall(DriverFor(handle));
  std::vector<uint8_t> answer(call.outLength);
  uint32_t moved = 0;
  return DriverIoControl(handle, call.code, call.block.data(), call.block.size(), answer.data(), answer.size(), &moved);
}

bool WindowsDeviceBus::DriverIoControl(DeviceHandle handle, uint32_t code, const uint8_t *in, size_t inLength,
                                       uint8_t *out, size_t outLength, uint32_t *bytesReturned) {
  if (bytesReturned)
    *bytesReturned = 0;
  if (handle == kNullHandle)
    return Fail(Failure("invalid handle"));
  if ((!in && inLength) || (!out && outLength))
    return Fail(Failure("invalid buffer"));
  if (inLength > std::numeric_limits<DWORD>::max() || outLength > std::numeric_limits<DWORD>::max())
    return Fail(Failure("the driver refused the request block (buffer too long)"));
  // A handle opened elsewhere is still served, only its path is not known.
  OpenInterface &device = open_[handle];
  switch (device.watch.Loss()) {
  case DeviceLoss::Unplugged:
    return Fail({DeviceErrorKind::Gone, "the device is gone"});
  case DeviceLoss::StoppedAnswering:
    return Fail(Failure("the device stopped answering"));
  case DeviceLoss::None:
    break;
  }
  const HANDLE system = reinterpret_cast<HANDLE>(handle);
  auto call = std::make_unique<PendingCall>();
  if (!call->event)
    return Fail(Reason(WindowsDeviceCall::IoControl, ::GetLastError()));
  call->in.assign(in, in + inLength);
  call->out.assign(out, out + outLength);
  call->overlapped.hEvent = call->event;
  DWORD moved = 0;
  const BOOL done = ::DeviceIoControl(system, code, call->in.data(), static_cast<DWORD>(inLength), call->out.data(),
                                      static_cast<DWORD>(outLength), &moved, &call->overlapped);
  DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
  if (error == ERROR_IO_PENDING) {
    if (::WaitForSingleObject(call->event, timeoutMs_) != WAIT_OBJECT_0) {
      ::CancelIoEx(system, &call->overlapped);
      // The call must be over before its buffers are freed; a driver that
      // ignores the cancellation keeps them for good, and the handle.
      if (::WaitForSingleObject(call->event, cancelGraceMs_) != WAIT_OBJECT_0) {
        static_cast<void>(call.release()); // the driver's now: freeing it would hand it memory in use
        device.watch.Wedged();
        return Fail(Failure("the device did not answer in time, and the driver did not give the call back (within " +
                            std::to_string(timeoutMs_ + cancelGraceMs_) + " ms)"));
      }
      ::GetOverlappedResult(system, &call->overlapped, &moved, FALSE);
      NoteSilence(device, true);
      if (device.watch.Loss() == DeviceLoss::Unplugged)
        return Fail({DeviceErrorKind::Gone, "the device is gone"});
      return Fail(
          Failure("the device did not answer in time (no answer within " + std::to_string(timeoutMs_) + " ms)"));
    }
    error = ::GetOverlappedResult(system, &call->overlapped, &moved, FALSE) ? ERROR_SUCCESS : ::GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    DeviceError reason = Reason(WindowsDeviceCall::IoControl, error);
    if (reason.kind == DeviceErrorKind::Gone)
      device.watch.Gone();
    else if (reason.kind == DeviceErrorKind::Stalled)
      device.watch.Answered();
    else
      NoteSilence(device, MeansTimeOut(error));
    if (device.watch.Loss() == DeviceLoss::Unplugged)
      reason.kind = DeviceErrorKind::Gone;
    return Fail(std::move(reason));
  }
  device.watch.Answered();
  const size_t answered = std::min<size_t>(moved, outLength);
  if (answered)
    std::memcpy(out, call->out.data(), answered);
  if (bytesReturned)
    *bytesReturned = static_cast<uint32_t>(answered);
  return true;
}

DeviceLoss WindowsDeviceBus::Loss(DeviceHandle handle) const {
  const auto it = open_.find(handle);
  return it == open_.end() ? DeviceLoss::None : it->second.watch.Loss();
}

void WindowsDeviceBus::Close(DeviceHandle handle) {
  if (handle == kNullHandle)
    return;
  open_.erase(handle);
  ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace orvane
