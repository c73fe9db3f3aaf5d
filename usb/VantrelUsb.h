#pragma once

#include "usb/DeviceBus.h"
#include "usb/DeviceLock.h"
#include "usb/DevicePin.h"
#include "usb/DeviceTable.h"

#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

// The one device-access object: finds the device by a match text in the
// interface paths of the chosen driver's class and carries vendor control
// transfers to it as setup packets; the back-end takes them to the device
// its own way.
class VantrelUsb {
public:
  explicit VantrelUsb(DeviceBus &bus);
  ~VantrelUsb();
  VantrelUsb(const VantrelUsb &) = delete;
  VantrelUsb &operator=(const VantrelUsb &) = delete;

  // Looks through the interface paths for the match text; what it found
  // stays in IsFound(). True when a device was found and answered the probe.
  bool FindDevice();
  // Whether a device with the match text is still listed, kept in IsFound().
  bool CheckDevice();
  bool IsFound() const { return found_; }

  void ClearFound();
  void SetAudioDriver(bool audioDriver);
  bool GetAudioDriver() const;
  // false (target unchanged) for a text longer than 49 characters.
  [[nodiscard]] bool SetTarget(const std::string &target);
  // A match text of the model table, which always fits.
  void SetTarget(const MatchText &target);
  const char *Target() const { return target_; }
  const char *DevicePath() const { return devicePath_; }
  bool HasHandle() const { return handle_ != kNullHandle; }

  [[nodiscard]] bool ProbeDevice();
  // With device locks in use, false while another program holds the
  // device; LastError() then says who.
  [[nodiscard]] bool Open();
  void Close();
  // Where the found device sits and what it calls itself, so that an
  // action can hold to it; nullopt when the bus cannot tell.
  [[nodiscard]] std::optional<DevicePin> Pin();
  enum class ReopenOutcome {
    Reopened,     // open again, on the pinned device and under its lock
    NotAnswering, // something is still attached at its place, but it does not answer
    Gone,         // nothing is there, or another device sits in its place
    Refused,      // another program holds it (LastError() says who)
  };
  // Opens the pinned device again, wherever the pin accepts it, and
  // nothing else; takes the lock of whatever it reaches before opening it.
  [[nodiscard]] ReopenOutcome ReopenPinned(const DevicePin &pin);
  // Whether the open handle (or the one closed last) lost its device.
  DeviceLoss Loss() const;

  // From now on every open takes the device's lock and every close gives
  // it back, unless a hold keeps it. The lock is on the file the bus has
  // for the device; a device without one is locked by name in directory.
  // Empty: no locking.
  void UseDeviceLocks(std::string directory) { lockDirectory_ = std::move(directory); }
  // Keeps the lock across opens and closes until the matching release, so
  // no other program slips in between the steps of one action. False, with
  // the reason in LastError(), while another program holds the device or
  // when its lock cannot be taken at all.
  [[nodiscard]] bool HoldDeviceLock();
  void ReleaseDeviceLock();
  // The lock's name for an interface path: the device part, not the class,
  // so both drivers' paths of one device share it.
  static std::string LockKey(const std::string &path);
  [[nodiscard]] bool ControlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                                     uint8_t *data, uint32_t length);

  // The rule FindDevice and CheckDevice apply to each interface path: it
  // contains the match text and fits the path field whole.
  static bool PathMatches(const std::string &path, const char *target);

  // What went wrong in the last open or transfer, when the bus could tell;
  // Busy while another program holds the device.
  DeviceError LastDeviceError() const;
  // Its reason, for messages.
  std::string LastError() const { return LastDeviceError().text; }
  // Control transfers that did not go through since start: a caller tells
  // a transfer failure from a refusal the device answered with.
  uint64_t FailedTransfers() const { return failedTransfers_; }
  // Whether the device answered the last control transfer at all: a
  // completed or rejected request is an answer, a time-out is not.
  bool LastTransferAnswered() const { return lastAnswered_; }
  DeviceBus &Bus() { return bus_; }

private:
  // false when another program holds the device, its lock cannot be
  // taken, or the device cannot be reached to lock it.
  [[nodiscard]] bool TakeLock();
  // Whether path names one of the identities this program acts on.
  bool SupportedIdentity(const std::string &path) const;

  DeviceBus &bus_;
  // Kept in this order: found flag, back-end, device path, match text, handle.
  bool found_ = false;
  bool audioDriver_ = false;
  char devicePath_[512] = {};
  // Until a search names another, the second firmware-update identity.
  char target_[50] = {};
  DeviceHandle handle_ = kNullHandle;
  DeviceLoss closedLoss_ = DeviceLoss::None;
  std::string lockDirectory_;
  DeviceLock lock_;
  int lockHolds_ = 0;
  std::string lockError_;
  DeviceErrorKind lockErrorKind_ = DeviceErrorKind::Busy;
  uint64_t failedTransfers_ = 0;
  bool lastAnswered_ = true;
};

// Holds the device's lock for its lifetime (VantrelUsb::HoldDeviceLock);
// false when another program holds the device.
class DeviceLockHold {
public:
  explicit DeviceLockHold(VantrelUsb &usb) : usb_(usb), held_(usb.HoldDeviceLock()) {}
  ~DeviceLockHold() {
    if (held_)
      usb_.ReleaseDeviceLock();
  }
  DeviceLockHold(const DeviceLockHold &) = delete;
  DeviceLockHold &operator=(const DeviceLockHold &) = delete;
  explicit operator bool() const { return held_; }

private:
  VantrelUsb &usb_;
  bool held_;
};

} // namespace orvane
