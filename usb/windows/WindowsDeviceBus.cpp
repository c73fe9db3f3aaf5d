#include "usb/windows/WindowsDeviceBus.h"

#include "usb/WindowsErrorReason.h"

#include <windows.h>

#include <setupapi.h>

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

std::string SystemText(DWORD code) {
  char *text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char *>(&text), 0, nullptr);
  std::string result = length && text ? std::string(text, length) : std::string();
  if (text)
    ::LocalFree(text);
  return result;
}

DeviceError Reason(WindowsDeviceCall call, DWORD code, const std::string &path = {}) {
  return {WindowsErrorKind(call, code), WindowsErrorReason(call, code, SystemText(code), path)};
}

DeviceError Failure(std::string why) {
  return {DeviceErrorKind::Failed, std::move(why)};
}

struct DeviceInfoSetCloser {
  void operator()(void *set) const { ::SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(set)); }
};
using DeviceInfoSet = std::unique_ptr<void, DeviceInfoSetCloser>;

struct HandleCloser {
  void operator()(void *handle) const { ::CloseHandle(handle); }
};
using UniqueEvent = std::unique_ptr<void, HandleCloser>;

// The device path of one interface; nullopt when the detail query fails,
// which skips that interface only.
std::optional<std::string> InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA &interfaceData) {
  DWORD required = 0;
  ::SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &required, nullptr);
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
    return std::nullopt;
  // DWORD elements keep the record aligned as the system expects it.
  std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(storage.data());
  // The size of the fixed part, not of the whole record.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!::SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, required, nullptr, nullptr))
    return std::nullopt;
  const char *begin = detail->DevicePath;
  const char *end = reinterpret_cast<const char *>(storage.data()) + required;
  size_t length = 0;
  while (begin + length < end && begin[length] != '\0')
    ++length;
  return std::string(begin, length);
}

} // namespace

WindowsDeviceBus::WindowsDeviceBus(unsigned timeoutMs) : timeoutMs_(timeoutMs) {}

bool WindowsDeviceBus::Fail(DeviceError error) {
  lastError_ = std::move(error);
  return false;
}

std::optional<std::vector<std::string>> WindowsDeviceBus::ListInterfaces(const Guid &interfaceClass) {
  const GUID classGuid = ToSystemGuid(interfaceClass);
  const HDEVINFO raw = ::SetupDiGetClassDevsA(&classGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
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
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    lastError_ = Reason(WindowsDeviceCall::Open, ::GetLastError(), path);
    return kNullHandle;
  }
  return reinterpret_cast<DeviceHandle>(handle);
}

bool WindowsDeviceBus::IoControl(DeviceHandle handle, uint32_t code, const uint8_t *in, size_t inLength, uint8_t *out,
                                 size_t outLength, uint32_t *bytesReturned) {
  if (bytesReturned)
    *bytesReturned = 0;
  if (handle == kNullHandle)
    return Fail(Failure("invalid handle"));
  if (inLength > std::numeric_limits<DWORD>::max() || outLength > std::numeric_limits<DWORD>::max())
    return Fail(Failure("the driver refused the request block (buffer too long)"));
  const HANDLE device = reinterpret_cast<HANDLE>(handle);
  const UniqueEvent event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!event)
    return Fail(Reason(WindowsDeviceCall::IoControl, ::GetLastError()));

  OVERLAPPED overlapped{};
  overlapped.hEvent = event.get();
  DWORD moved = 0;
  // The drivers take the input block read-only; the API just is not const.
  const BOOL done = ::DeviceIoControl(device, code, const_cast<uint8_t *>(in), static_cast<DWORD>(inLength), out,
                                      static_cast<DWORD>(outLength), &moved, &overlapped);
  if (!done) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING)
      return Fail(Reason(WindowsDeviceCall::IoControl, error));
    if (::WaitForSingleObject(event.get(), timeoutMs_) != WAIT_OBJECT_0) {
      // The buffers belong to the caller: the call must be over before
      // they are handed back, so wait for the cancellation to land.
      ::CancelIoEx(device, &overlapped);
      ::GetOverlappedResult(device, &overlapped, &moved, TRUE);
      return Fail(
          Failure("the device did not answer in time (no answer within " + std::to_string(timeoutMs_) + " ms)"));
    }
    if (!::GetOverlappedResult(device, &overlapped, &moved, FALSE))
      return Fail(Reason(WindowsDeviceCall::IoControl, ::GetLastError()));
  }
  if (bytesReturned)
    *bytesReturned = moved;
  return true;
}

void WindowsDeviceBus::Close(DeviceHandle handle) {
  if (handle != kNullHandle)
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace orvane
