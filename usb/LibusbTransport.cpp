#include "usb/LibusbTransport.h"

#include "usb/DeviceTable.h"
#include "usb/ErrnoText.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>

namespace orvane {

namespace {

constexpr uint8_t kAudioInterfaceClass = 1;
constexpr int kMaxPortDepth = 7; // USB allows at most this many tiers below the root

// The device list of one enumeration, released however the walk ends.
class DeviceList {
public:
  explicit DeviceList(libusb_context *context) { count_ = libusb_get_device_list(context, &devices_); }
  ~DeviceList() {
    if (devices_)
      libusb_free_device_list(devices_, 1);
  }
  DeviceList(const DeviceList &) = delete;
  DeviceList &operator=(const DeviceList &) = delete;

  std::span<libusb_device *const> devices() const {
    return count_ > 0 ? std::span<libusb_device *const>(devices_, static_cast<size_t>(count_))
                      : std::span<libusb_device *const>{};
  }

private:
  libusb_device **devices_ = nullptr;
  ssize_t count_ = 0;
};

std::string LocationOf(libusb_device *device) {
  uint8_t ports[kMaxPortDepth];
  const int depth = libusb_get_port_numbers(device, ports, kMaxPortDepth);
  return LibusbLocation(libusb_get_bus_number(device),
                        std::span<const uint8_t>(ports, depth > 0 ? static_cast<size_t>(depth) : 0));
}

bool ActiveConfigHasAudio(libusb_device *device) {
  libusb_config_descriptor *config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS || !config)
    return false;
  const bool audio = HasAudioInterface(*config);
  libusb_free_config_descriptor(config);
  return audio;
}

// Linux names a device's sysfs entry by the same bus and port path, and
// shows its serial number there to every user: no open, no access rights.
std::string SysfsSerial(const std::string &location) {
  std::ifstream file("/sys/bus/usb/devices/" + location + "/serial");
  std::string serial;
  std::getline(file, serial);
  return serial;
}

bool OfOurVendors(const libusb_device_descriptor &descriptor) {
  const auto ours = [&](const UsbId &id) { return id.vendorId == descriptor.idVendor; };
  return std::any_of(kModels.begin(), kModels.end(), [&](const ModelRow &model) { return ours(model.usb); }) ||
         std::any_of(kUpdateModeIds.begin(), kUpdateModeIds.end(), ours);
}

DeviceError OpenFailure(int error, const std::string &location) {
  switch (error) {
  case LIBUSB_ERROR_ACCESS:
    return {DeviceErrorKind::AccessDenied, "permission denied on USB device " + location};
  case LIBUSB_ERROR_NO_DEVICE:
    return {DeviceErrorKind::Gone, "USB device " + location + " is gone"};
  default:
    return {DeviceErrorKind::Failed, "cannot open USB device " + location + ": " + libusb_strerror(error)};
  }
}

} // namespace

struct LibusbTransport::Context {
  explicit Context(libusb_context *context) : context(context) {}
  ~Context() { libusb_exit(context); }
  Context(const Context &) = delete;
  Context &operator=(const Context &) = delete;
  libusb_context *context;
};

namespace {

class LibusbConnection final : public UsbConnection {
public:
  LibusbConnection(std::shared_ptr<LibusbTransport::Context> context, libusb_device_handle *handle, unsigned timeoutMs)
      : context_(std::move(context)), handle_(handle), timeoutMs_(timeoutMs) {}
  ~LibusbConnection() override { libusb_close(handle_); }
  LibusbConnection(const LibusbConnection &) = delete;
  LibusbConnection &operator=(const LibusbConnection &) = delete;

  TransferResult Control(const SetupPacket &setup, uint8_t *data) override {
    uint8_t none = 0;
    const int result = libusb_control_transfer(handle_, setup.requestType, setup.request, setup.value, setup.index,
                                               data ? data : &none, setup.length, timeoutMs_);
    if (result >= 0)
      return {TransferStatus::Completed, static_cast<size_t>(result)};
    if (result == LIBUSB_ERROR_PIPE)
      return {TransferStatus::Stalled, 0};
    if (result == LIBUSB_ERROR_NO_DEVICE)
      return {TransferStatus::Gone, 0};
    return {TransferStatus::Failed, 0};
  }

private:
  std::shared_ptr<LibusbTransport::Context> context_; // outlives the handle
  libusb_device_handle *handle_;
  unsigned timeoutMs_;
};

} // namespace

LibusbTransport::LibusbTransport(unsigned timeoutMs) : timeoutMs_(timeoutMs) {}

LibusbTransport::~LibusbTransport() = default;

std::shared_ptr<LibusbTransport::Context> LibusbTransport::GetContext() {
  if (!context_ && !contextFailed_) {
    libusb_context *context = nullptr;
    if (libusb_init(&context) == LIBUSB_SUCCESS)
      context_ = std::make_shared<Context>(context);
    else
      contextFailed_ = true;
  }
  return context_;
}

std::vector<UsbDeviceInfo> LibusbTransport::Enumerate() {
  std::vector<UsbDeviceInfo> listed;
  const auto context = GetContext();
  if (!context)
    return listed;
  const DeviceList list(context->context);
  for (libusb_device *device : list.devices()) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS)
      continue;
    UsbDeviceInfo info;
    info.location = LocationOf(device);
    info.vendorId = descriptor.idVendor;
    info.productId = descriptor.idProduct;
    info.bcdDevice = descriptor.bcdDevice;
    info.hasAudioInterface = ActiveConfigHasAudio(device);
    if (OfOurVendors(descriptor))
      info.serial = SysfsSerial(info.location);
    listed.push_back(std::move(info));
  }
  return listed;
}

std::unique_ptr<UsbConnection> LibusbTransport::Connect(const std::string &location, DeviceError *error) {
  DeviceError ignored;
  if (!error)
    error = &ignored;
  const auto context = GetContext();
  if (!context) {
    *error = {DeviceErrorKind::Failed, "USB access is not available on this system"};
    return nullptr;
  }
  const DeviceList list(context->context);
  for (libusb_device *device : list.devices()) {
    if (LocationOf(device) != location)
      continue;
    libusb_device_handle *handle = nullptr;
    const int result = libusb_open(device, &handle);
    if (result != LIBUSB_SUCCESS) {
      *error = OpenFailure(result, location);
      return nullptr;
    }
    return std::make_unique<LibusbConnection>(context, handle, timeoutMs_);
  }
  *error = {DeviceErrorKind::Gone, "USB device " + location + " is gone"};
  return nullptr;
}

std::optional<DeviceLock::Outcome> LibusbTransport::LockDevice(const std::string &location, DeviceLock &lock,
                                                               DeviceError *error) {
  DeviceError ignored;
  if (!error)
    error = &ignored;
  const auto context = GetContext();
  if (!context) {
    *error = {DeviceErrorKind::Failed, "USB access is not available on this system"};
    return DeviceLock::Outcome::Unreachable;
  }
  const DeviceList list(context->context);
  for (libusb_device *device : list.devices()) {
    if (LocationOf(device) != location)
      continue;
    const std::string node = UsbfsNodePath(libusb_get_bus_number(device), libusb_get_device_address(device));
    const int fd = ::open(node.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0)
      return lock.TryAcquireOpened(fd, node);
    const int why = errno;
    if (why == EACCES || why == EPERM)
      *error = {DeviceErrorKind::AccessDenied, "permission denied on USB device " + location};
    else if (why == ENOENT || why == ENODEV || why == ENXIO)
      *error = {DeviceErrorKind::Gone, "USB device " + location + " is gone"};
    else
      *error = {DeviceErrorKind::Failed, "cannot open USB device " + location + " (" + node + "): " + ErrnoText(why)};
    return DeviceLock::Outcome::Unreachable;
  }
  *error = {DeviceErrorKind::Gone, "USB device " + location + " is gone"};
  return DeviceLock::Outcome::Unreachable;
}

std::string UsbfsNodePath(uint8_t busNumber, uint8_t address) {
  char path[32];
  std::snprintf(path, sizeof path, "/dev/bus/usb/%03u/%03u", unsigned{busNumber}, unsigned{address});
  return path;
}

std::string LibusbLocation(uint8_t busNumber, std::span<const uint8_t> portPath) {
  if (portPath.empty())
    return "usb" + std::to_string(busNumber);
  std::string location = std::to_string(busNumber) + "-";
  for (size_t i = 0; i < portPath.size(); ++i) {
    if (i)
      location += '.';
    location += std::to_string(portPath[i]);
  }
  return location;
}

bool HasAudioInterface(const libusb_config_descriptor &config) {
  for (int i = 0; i < config.bNumInterfaces; ++i) {
    const libusb_interface &interface = config.interface[i];
    for (int a = 0; a < interface.num_altsetting; ++a) {
      if (interface.altsetting[a].bInterfaceClass == kAudioInterfaceClass)
        return true;
    }
  }
  return false;
}

} // namespace orvane
