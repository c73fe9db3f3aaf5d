#include "usb/EmulatedDriverBus.h"

#include "usb/DeviceDescriptor.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace orvane {

namespace {

constexpr uint8_t kVendorOtherIn = 0xC3;
constexpr uint8_t kVendorOtherOut = 0x43;

std::string LowerCase(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

DeviceError TransferError(TransferStatus status) {
  switch (status) {
  case TransferStatus::Completed:
    return {DeviceErrorKind::None, "completed"};
  case TransferStatus::Stalled:
    return {DeviceErrorKind::Stalled, "the device rejected the request"};
  case TransferStatus::Gone:
    return {DeviceErrorKind::Gone, "the device is gone"};
  case TransferStatus::Failed:
    break;
  }
  return {DeviceErrorKind::Failed, "the transfer failed"};
}

} // namespace

EmulatedDriverBus::EmulatedDriverBus() = default;

EmulatedDriverBus::~EmulatedDriverBus() {
  // Connections go before the transports that made them.
  handles_.clear();
}

void EmulatedDriverBus::AddTransport(UsbTransport &transport) {
  transports_.push_back(&transport);
}

UsbTransport &EmulatedDriverBus::AddTransport(std::unique_ptr<UsbTransport> transport) {
  owned_.push_back(std::move(transport));
  transports_.push_back(owned_.back().get());
  return *owned_.back();
}

std::string EmulatedDriverBus::InterfacePath(const std::string &transportName, const UsbDeviceInfo &device,
                                             const Guid &interfaceClass) {
  char ids[24];
  std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", device.vendorId, device.productId);
  return "\\\\?\\usb#" + std::string(ids) + "#" + LowerCase(transportName) + "." + device.location + "#" +
         LowerCase(interfaceClass.text());
}

std::optional<std::vector<std::string>> EmulatedDriverBus::ListInterfaces(const Guid &interfaceClass) {
  std::vector<std::string> paths;
  if (interfaceClass != kGuidUsbDevice && interfaceClass != kGuidAudioDriver)
    return paths;
  for (UsbTransport *transport : transports_) {
    for (const UsbDeviceInfo &device : transport->Enumerate()) {
      if (interfaceClass == kGuidAudioDriver && !device.hasAudioInterface)
        continue;
      paths.push_back(InterfacePath(transport->Name(), device, interfaceClass));
      places_[paths.back()] = InterfacePlace{device.location, device.serial};
    }
  }
  return paths;
}

std::optional<std::pair<UsbTransport *, std::string>> EmulatedDriverBus::TransportPlace(const std::string &path) const {
  for (UsbTransport *transport : transports_) {
    const std::string lead = "#" + LowerCase(transport->Name()) + ".";
    const size_t start = path.find(lead);
    const size_t end = start == std::string::npos ? start : path.find('#', start + lead.size());
    if (end != std::string::npos)
      return std::make_pair(transport, path.substr(start + lead.size(), end - start - lead.size()));
  }
  return std::nullopt;
}

DeviceHandle EmulatedDriverBus::Open(const std::string &path) {
  // Only a path that names a present interface right now opens, and the
  // class in it decides which driver answers on the handle. Only the device
  // the path names is asked: a slow device elsewhere does not hold up the open.
  for (UsbTransport *transport : transports_) {
    const auto location = LocationIn(path, *transport);
    if (!location)
      continue;
    const auto device = transport->Describe(*location);
    if (!device)
      continue;
    const bool generic = path == InterfacePath(transport->Name(), *device, kGuidUsbDevice);
    const bool audio = device->hasAudioInterface && path == InterfacePath(transport->Name(), *device, kGuidAudioDriver);
    if (!generic && !audio)
      continue;
    DeviceError error;
    auto connection = transport->Connect(device->location, &error);
    if (!connection) {
      if (error.text.empty())
        error.text = "cannot open the device";
      if (error.kind == DeviceErrorKind::None)
        error.kind = DeviceErrorKind::Failed;
      lastError_ = std::move(error);
      return kNullHandle;
    }
    const DeviceHandle handle = nextHandle_++;
    handles_.emplace(handle, OpenDevice{audio, std::move(connection)});
    return handle;
  }
  lastError_ = {DeviceErrorKind::NoDevice, "no such device: " + path};
  return kNullHandle;
}

std::optional<std::string> EmulatedDriverBus::LocationIn(const std::string &path, const UsbTransport &transport) {
  const std::string lead = "#" + LowerCase(transport.Name()) + ".";
  const size_t start = path.find(lead);
  const size_t end = start == std::string::npos ? start : path.find('#', start + lead.size());
  if (end == std::string::npos)
    return std::nullopt;
  return path.substr(start + lead.size(), end - start - lead.size());
}

std::optional<DeviceLock::Outcome> EmulatedDriverBus::LockDevice(const std::string &path, DeviceLock &lock) {
  for (UsbTransport *transport : transports_) {
    const auto location = LocationIn(path, *transport);
    if (!location)
      continue;
    DeviceError error;
    const auto outcome = transport->LockDevice(*location, lock, &error);
    if (outcome == DeviceLock::Outcome::Unreachable)
      lastError_ = error.kind == DeviceErrorKind::None
                       ? DeviceError{DeviceErrorKind::NoDevice, "no such device: " + path}
                       : std::move(error);
    return outcome;
  }
  lastError_ = {DeviceErrorKind::NoDevice, "no such device: " + path};
  return DeviceLock::Outcome::Unreachable;
}

std::optional<InterfacePlace> EmulatedDriverBus::PlaceOf(const std::string &path) {
  if (const auto known = places_.find(path); known != places_.end())
    return known->second;
  for (UsbTransport *transport : transports_) {
    for (const UsbDeviceInfo &device : transport->Enumerate()) {
      if (path == InterfacePath(transport->Name(), device, kGuidUsbDevice) ||
          (device.hasAudioInterface && path == InterfacePath(transport->Name(), device, kGuidAudioDriver)))
        return InterfacePlace{device.location, device.serial};
    }
  }
  return std::nullopt;
}

bool EmulatedDriverBus::StillAttached(const std::string &path) {
  const auto place = TransportPlace(path);
  return place && place->first->StillAttached(place->second);
}

void EmulatedDriverBus::Close(DeviceHandle handle) {
  handles_.erase(handle);
}

DeviceLoss EmulatedDriverBus::Loss(DeviceHandle handle) const {
  const auto it = handles_.find(handle);
  return it == handles_.end() ? DeviceLoss::None : it->second.loss;
}

std::vector<std::string> EmulatedDriverBus::ListingProblems() {
  std::vector<std::string> problems;
  for (UsbTransport *transport : transports_)
    if (std::string problem = transport->ListingProblem(); !problem.empty())
      problems.push_back(std::move(problem));
  return problems;
}

TransferResult EmulatedDriverBus::Control(OpenDevice &device, const SetupPacket &setup, uint8_t *data) {
  if (device.loss != DeviceLoss::None)
    return {TransferStatus::Gone, 0};
  const TransferResult result = device.connection->Control(setup, data);
  device.failuresInRow = result.status == TransferStatus::Failed ? device.failuresInRow + 1 : 0;
  if (result.status == TransferStatus::Gone)
    device.loss = DeviceLoss::Unplugged;
  else if (device.failuresInRow >= kFailuresUntilLost)
    device.loss = DeviceLoss::StoppedAnswering;
  return result;
}

bool EmulatedDriverBus::Refuse(const std::string &why) {
  return Fail({DeviceErrorKind::Failed, why});
}

bool EmulatedDriverBus::Fail(DeviceError error) {
  lastError_ = std::move(error);
  return false;
}

bool EmulatedDriverBus::Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) {
  uint32_t ignored = 0;
  if (!bytesReturned)
    bytesReturned = &ignored;
  *bytesReturned = 0;
  const auto it = handles_.find(handle);
  if (it == handles_.end())
    return Refuse("invalid handle");
  if (!data && setup.length)
    return Refuse("invalid buffer");
  SetupPacket sent = setup;
  // The audio driver passes vendor requests to the chip and carries the
  // direction alone.
  if (it->second.audioDriver)
    sent.requestType = setup.isIn() ? kVendorOtherIn : kVendorOtherOut;
  return Transfer(it->second, sent, sent.isIn() ? nullptr : data, sent.isIn() ? data : nullptr, bytesReturned);
}

bool EmulatedDriverBus::Probe(DeviceHandle handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end())
    return Refuse("invalid handle");
  uint8_t descriptor[kDeviceDescriptorSize];
  if (!it->second.audioDriver) {
    uint32_t returned = 0;
    return Transfer(it->second, kDescriptorProbe, nullptr, descriptor, &returned);
  }
  // The vendor property set is there when the device behind it answers at all.
  const SetupPacket anyAnswer{0x80, 0x06, 0x0100, 0, kDeviceDescriptorSize};
  const TransferResult result = Control(it->second, anyAnswer, descriptor);
  return result.ok() ? true : Fail(TransferError(result.status));
}

bool EmulatedDriverBus::Transfer(OpenDevice &device, const SetupPacket &setup, const uint8_t *outData, uint8_t *inData,
                                 uint32_t *bytesReturned) {
  std::vector<uint8_t> buffer(setup.length);
  if (outData && setup.length)
    std::memcpy(buffer.data(), outData, setup.length);
  uint8_t none = 0;
  const TransferResult result = Control(device, setup, buffer.empty() ? &none : buffer.data());
  if (!result.ok())
    return Fail(TransferError(result.status));
  // A device that moved less than asked did not do what was asked: for IN
  // the rest of the buffer would be stale bytes passed off as its answer.
  if (result.actual != setup.length)
    return Refuse("the device moved " + std::to_string(result.actual) + " of " + std::to_string(setup.length) +
                  " bytes");
  if (inData && setup.length)
    std::memcpy(inData, buffer.data(), setup.length);
  *bytesReturned = static_cast<uint32_t>(result.actual);
  return true;
}

} // namespace orvane
