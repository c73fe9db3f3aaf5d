#pragma once

#include "usb/DeviceBus.h"

#include <cstdint>
#include <string>

namespace orvane {

// The one device-access object: finds the device by a match text in the
// interface paths of the chosen back-end and carries vendor control
// transfers to it through that back-end's driver request layout.
class VantrelUsb {
public:
  explicit VantrelUsb(DeviceBus &bus);
  virtual ~VantrelUsb();
  VantrelUsb(const VantrelUsb &) = delete;
  VantrelUsb &operator=(const VantrelUsb &) = delete;

  virtual bool FindDevice();
  virtual bool CheckDevice();
  virtual bool IsFound();

  void ClearFound();
  void SetAudioDriver(bool audioDriver);
  bool GetAudioDriver() const;
  // false (target unchanged) for a text longer than 49 characters.
  bool SetTarget(const std::string &target);
  const char *Target() const { return target_; }
  const char *DevicePath() const { return devicePath_; }
  bool HasHandle() const { return handle_ != kNullHandle; }

  bool ProbeDevice();
  bool Open();
  void Close();
  bool ControlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t *data,
                       uint32_t length);

  // The rule FindDevice and CheckDevice apply to each interface path: it
  // contains the match text and fits the path field whole.
  static bool PathMatches(const std::string &path, const char *target);

  // Why the last open or transfer failed, when the bus could tell.
  std::string LastError() const;
  // Control transfers that did not go through since start: a caller tells
  // a transfer failure from a refusal the device answered with.
  uint64_t FailedTransfers() const { return failedTransfers_; }
  DeviceBus &Bus() { return bus_; }

private:
  DeviceBus &bus_;
  // Kept in this order: found flag, back-end, device path, match text, handle.
  bool found_ = false;
  bool audioDriver_ = false;
  char devicePath_[512] = {};
  char target_[50] = "vid_0c7e&pid_6000";
  DeviceHandle handle_ = kNullHandle;
  uint64_t failedTransfers_ = 0;
};

} // namespace orvane
