// Stand-in for the device-access object while its real source is being
// written: it keeps the state the constructor promises, never finds a
// device and never transfers anything. The build drops this file as soon
// as usb/VantrelUsb.cpp exists.
#include "usb/VantrelUsb.h"

#include <cstring>

namespace orvane {

VantrelUsb::VantrelUsb(DeviceBus &bus) : bus_(bus) {}
VantrelUsb::~VantrelUsb() {
  Close();
}

bool VantrelUsb::FindDevice() {
  return found_ = false;
}
bool VantrelUsb::CheckDevice() {
  return found_ = false;
}
bool VantrelUsb::IsFound() {
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
  if (target.size() >= sizeof target_)
    return false;
  std::memcpy(target_, target.c_str(), target.size() + 1);
  return true;
}

bool VantrelUsb::ProbeDevice() {
  return false;
}
bool VantrelUsb::Open() {
  return false;
}

void VantrelUsb::Close() {
  if (handle_ != kNullHandle)
    bus_.Close(handle_);
  handle_ = kNullHandle;
}

bool VantrelUsb::ControlTransfer(uint8_t, uint8_t, uint16_t, uint16_t, uint8_t *, uint32_t) {
  return false;
}
std::string VantrelUsb::LastError() const {
  return "device access is not built into this program yet";
}

} // namespace orvane
