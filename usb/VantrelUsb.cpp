#include "usb/VantrelUsb.h"

#include "usb/DeviceTable.h"

#include <cstring>

namespace orvane {

namespace {

constexpr size_t kMaxDevicePathLength = 511;
constexpr size_t kMaxTargetLength = 49;
constexpr uint32_t kMaxControlLength = 0xFFFF;

} // namespace

VantrelUsb::VantrelUsb(DeviceBus &bus) : bus_(bus) {
  static_assert(sizeof(kUpdateMatch0C7E) <= sizeof(target_));
  std::memcpy(target_, kUpdateMatch0C7E.data(), kUpdateMatch0C7E.size());
}

VantrelUsb::~VantrelUsb() {
  Close();
}

bool VantrelUsb::FindDevice() {
  const auto paths = bus_.ListInterfaces(audioDriver_ ? kGuidAudioDriver : kGuidUsbDevice);
  if (!paths)
    return false;
  bool probed = false;
  for (const std::string &path : *paths) {
    if (!PathMatches(path, target_))
      continue;
    std::memcpy(devicePath_, path.c_str(), path.size() + 1);
    found_ = true;
    probed = ProbeDevice();
  }
  return probed;
}

bool VantrelUsb::PathMatches(const std::string &path, const char *target) {
  // A path that does not fit is skipped whole: cut short, it could name
  // another device.
  if (path.size() > kMaxDevicePathLength || path.find('\0') != std::string::npos)
    return false;
  return path.find(target) != std::string::npos;
}

bool VantrelUsb::CheckDevice() {
  bool present = false;
  if (const auto paths = bus_.ListInterfaces(audioDriver_ ? kGuidAudioDriver : kGuidUsbDevice)) {
    for (const std::string &path : *paths)
      present = present || PathMatches(path, target_);
  }
  found_ = present;
  return found_;
}

void VantrelUsb::ClearFound() {
  found_ = false;
}

void VantrelUsb::SetAudioDriver(bool audioDriver) {
  audioDriver_ = audioDriver;
}

bool VantrelUsb::GetAudioDriver() const {
  return audioDriver_;
}

bool VantrelUsb::SetTarget(const std::string &target) {
  if (target.size() > kMaxTargetLength || target.find('\0') != std::string::npos)
    return false;
  std::memcpy(target_, target.c_str(), target.size() + 1);
  return true;
}

void VantrelUsb::SetTarget(const MatchText &target) {
  static_assert(sizeof(MatchText) <= sizeof(target_));
  std::memcpy(target_, target.data(), target.size());
}

bool VantrelUsb::ProbeDevice() {
  const DeviceHandle probe = bus_.Open(devicePath_);
  if (probe == kNullHandle)
    return false;
  const bool answered = bus_.Probe(probe);
  bus_.Close(probe);
  return answered;
}

bool VantrelUsb::Open() {
  Close();
  if (!TakeLock())
    return false;
  handle_ = bus_.Open(devicePath_);
  if (handle_ == kNullHandle)
    return false;
  closedLoss_ = DeviceLoss::None;
  return true;
}

void VantrelUsb::Close() {
  if (handle_ != kNullHandle) {
    closedLoss_ = bus_.Loss(handle_);
    bus_.Close(handle_);
    handle_ = kNullHandle;
  }
  if (lockHolds_ == 0)
    lock_.Release();
}

std::optional<DevicePin> VantrelUsb::Pin() {
  const auto place = bus_.PlaceOf(devicePath_);
  if (!place)
    return std::nullopt;
  DevicePin pin{devicePath_, place->location, place->serial, false};
  if (!pin.serial.empty()) {
    int carriers = 0;
    if (const auto paths = bus_.ListInterfaces(audioDriver_ ? kGuidAudioDriver : kGuidUsbDevice)) {
      for (const std::string &path : *paths) {
        const auto other = bus_.PlaceOf(path);
        carriers += other && other->serial == pin.serial ? 1 : 0;
      }
    }
    pin.serialIsUnique = carriers == 1;
  }
  return pin;
}

bool VantrelUsb::SupportedIdentity(const std::string &path) const {
  // A device power-cycled in the middle of an action comes back in update
  // mode when its firmware is not whole.
  return PathMatches(path, target_) || PathMatches(path, kUpdateId3B5D) || PathMatches(path, kUpdateId0C7E);
}

VantrelUsb::ReopenOutcome VantrelUsb::ReopenPinned(const DevicePin &pin) {
  Close();
  lockError_.clear();
  const auto paths = bus_.ListInterfaces(audioDriver_ ? kGuidAudioDriver : kGuidUsbDevice);
  std::optional<std::string> chosen;
  bool ambiguous = false;
  bool otherInItsPlace = false;
  for (const std::string &path : paths ? *paths : std::vector<std::string>{}) {
    if (!SupportedIdentity(path))
      continue;
    const auto place = bus_.PlaceOf(path);
    if (!place)
      continue;
    if (pin.Accepts(*place)) {
      ambiguous = ambiguous || chosen.has_value();
      chosen = path;
    } else if (place->location == pin.location) {
      otherInItsPlace = true;
    }
  }
  // A device in its place that this driver does not list, such as the
  // chip restarted in update mode without its audio interface, is not the
  // device the action opened either.
  if (!chosen && !otherInItsPlace) {
    const auto others = bus_.ListInterfaces(audioDriver_ ? kGuidUsbDevice : kGuidAudioDriver);
    for (const std::string &path : others ? *others : std::vector<std::string>{}) {
      const auto place = bus_.PlaceOf(path);
      otherInItsPlace = otherInItsPlace || (place && place->location == pin.location);
    }
  }
  if (ambiguous || (!chosen && otherInItsPlace))
    return ReopenOutcome::Gone;
  if (!chosen)
    return bus_.StillAttached(pin.path) ? ReopenOutcome::NotAnswering : ReopenOutcome::Gone;
  std::memcpy(devicePath_, chosen->c_str(), chosen->size() + 1);
  if (!TakeLock()) {
    // A device that could not be reached to lock it is not another program's.
    if (!lockError_.empty())
      return ReopenOutcome::Refused;
    return bus_.StillAttached(pin.path) ? ReopenOutcome::NotAnswering : ReopenOutcome::Gone;
  }
  handle_ = bus_.Open(devicePath_);
  if (handle_ != kNullHandle) {
    closedLoss_ = DeviceLoss::None;
    return ReopenOutcome::Reopened;
  }
  return bus_.StillAttached(pin.path) ? ReopenOutcome::NotAnswering : ReopenOutcome::Gone;
}

DeviceLoss VantrelUsb::Loss() const {
  return handle_ != kNullHandle ? bus_.Loss(handle_) : closedLoss_;
}

std::string VantrelUsb::LockKey(const std::string &path) {
  // "\\?\usb#vid_3b5d&pid_6000#vusb.dev0#{guid}": the third field names the device.
  const size_t first = path.find('#');
  const size_t second = first == std::string::npos ? first : path.find('#', first + 1);
  const size_t third = second == std::string::npos ? second : path.find('#', second + 1);
  if (third == std::string::npos)
    return path.substr(0, path.rfind('#'));
  return path.substr(second + 1, third - second - 1);
}

bool VantrelUsb::TakeLock() {
  lockError_.clear();
  if (lockDirectory_.empty())
    return true;
  // Fail closed: only a lock this program holds lets it at the device.
  std::optional<DeviceLock::Outcome> outcome = bus_.LockDevice(devicePath_, lock_);
  if (!outcome)
    outcome = lock_.TryAcquire(lockDirectory_, LockKey(devicePath_));
  switch (*outcome) {
  case DeviceLock::Outcome::Acquired:
    return true;
  case DeviceLock::Outcome::Busy:
    lockErrorKind_ = DeviceErrorKind::Busy;
    lockError_ = lock_.BusyMessage();
    return false;
  case DeviceLock::Outcome::Failed:
    lockErrorKind_ = DeviceErrorKind::LockFailed;
    lockError_ = lock_.Error() + "; without its lock the device is left alone";
    return false;
  case DeviceLock::Outcome::Unreachable:
    break; // the bus's own error says why, as a failed open would
  }
  return false;
}

bool VantrelUsb::HoldDeviceLock() {
  if (!TakeLock())
    return false;
  ++lockHolds_;
  return true;
}

void VantrelUsb::ReleaseDeviceLock() {
  if (lockHolds_ > 0 && --lockHolds_ == 0 && handle_ == kNullHandle)
    lock_.Release();
}

bool VantrelUsb::ControlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t *data,
                                 uint32_t length) {
  // No USB control transfer carries more than 65535 bytes, and there is
  // nothing to carry them from without a buffer.
  if (handle_ == kNullHandle || length > kMaxControlLength || (length && !data)) {
    ++failedTransfers_;
    lastAnswered_ = false;
    return false;
  }
  const SetupPacket setup{requestType, request, value, index, static_cast<uint16_t>(length)};
  uint32_t bytesReturned = 0;
  bool succeeded = bus_.Control(handle_, setup, data, &bytesReturned);
  // An answer shorter than asked for leaves stale bytes in the caller's
  // buffer; it is not the device's answer.
  if (succeeded && setup.isIn() && bytesReturned != length)
    succeeded = false;
  if (!succeeded)
    ++failedTransfers_;
  // A short answer or a rejection still shows a device that listens.
  const DeviceErrorKind failure = succeeded ? DeviceErrorKind::None : bus_.LastDeviceError().kind;
  lastAnswered_ = failure != DeviceErrorKind::Failed && failure != DeviceErrorKind::Gone;
  return succeeded;
}

DeviceError VantrelUsb::LastDeviceError() const {
  return lockError_.empty() ? bus_.LastDeviceError() : DeviceError{lockErrorKind_, lockError_};
}

} // namespace orvane
