#pragma once

#include "usb/DeviceError.h"
#include "usb/DeviceLock.h"
#include "usb/SetupPacket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// A GUID as the driver interfaces know it; bytes() gives the standard
// 16-byte layout (three little-endian fields, then the last eight bytes).
struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  std::array<uint8_t, 8> data4;

  std::array<uint8_t, 16> bytes() const;
  std::string text() const; // "{A5DCBF10-6530-11D2-901F-00C04FB951ED}"
  bool operator==(const Guid &) const = default;
};

// Device-interface class of the generic USB driver.
inline constexpr Guid kGuidUsbDevice{0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
// Device-interface class of the device's audio driver.
inline constexpr Guid kGuidAudioDriver{0x50894FA4, 0x9206, 0x4A91, {0x87, 0x28, 0xCF, 0x6F, 0x26, 0x8F, 0x27, 0x1D}};
// Kernel-streaming property set through which the audio driver passes vendor requests.
inline constexpr Guid kGuidVendorPropertySet{
    0xF6D7C04D, 0xC5C3, 0x4181, {0x9E, 0xD7, 0x50, 0x4A, 0xBE, 0x0C, 0xDD, 0xFF}};

// Where the device behind an interface path sits and what it calls itself:
// the location tells two identical devices apart (a USB port path such as
// "1-4.2", a virtual device's name), the serial number is empty when the
// device has none.
struct InterfacePlace {
  std::string location;
  std::string serial;
};

using DeviceHandle = uintptr_t;

// Why an open handle can no longer reach its device.
enum class DeviceLoss : uint8_t {
  None,
  Unplugged,        // the device went away, or the connection to it closed
  StoppedAnswering, // transfers keep running out of time
};
inline constexpr DeviceHandle kNullHandle = 0;

// The device contract every back-end fills in: list the present
// interfaces of a class, open a path, carry one control transfer (a setup
// packet and its data) or the driver's probe, close. How a transfer
// reaches the device is the back-end's own: the Windows drivers' request
// blocks, a libusb transfer, a virtual device's wire, the simulator.
class DeviceBus {
public:
  virtual ~DeviceBus() = default;

  // Paths of the present interfaces of the class, in enumeration order;
  // nullopt when the class cannot be listed at all.
  virtual std::optional<std::vector<std::string>> ListInterfaces(const Guid &interfaceClass) = 0;
  // kNullHandle on failure; LastDeviceError() then says why. The path's
  // interface class names the driver that carries the handle's transfers.
  virtual DeviceHandle Open(const std::string &path) = 0;
  // One control transfer. For OUT, data holds setup.length bytes to send;
  // for IN, up to setup.length bytes come back into it. *bytesReturned:
  // bytes moved in the data stage. False, with LastDeviceError(), when the
  // transfer did not go through.
  virtual bool Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) = 0;
  // Whether the driver behind the handle takes requests and its device
  // answers.
  virtual bool Probe(DeviceHandle handle) = 0;
  virtual void Close(DeviceHandle handle) = 0;
  // Whether the handle has lost its device; a lost handle stays lost and
  // fails every call at once.
  virtual DeviceLoss Loss(DeviceHandle) const { return DeviceLoss::None; }
  // Why devices that may be there could not be listed (a refused virtual
  // device directory); empty when nothing was refused.
  virtual std::vector<std::string> ListingProblems() { return {}; }
  // What went wrong in the last failed Open, Control or Probe.
  virtual DeviceError LastDeviceError() const { return {}; }
  // Its reason, for messages ("permission denied ...").
  std::string LastError() const { return LastDeviceError().text; }
  // nullopt when the bus cannot tell, or no present interface has the path.
  virtual std::optional<InterfacePlace> PlaceOf(const std::string &) { return std::nullopt; }
  // Whether a device is still attached where the path's device sat,
  // whether it answers or not: a device that has stopped answering is not
  // gone, and may answer again. A bus that cannot tell says no.
  virtual bool StillAttached(const std::string &) { return false; }
  // Locks the device behind path into lock, against every other program,
  // user and environment on this host, on a file the device has for it
  // (its device node, a lock file beside it). nullopt when the bus has no
  // such file, so the caller locks by the device's name in a folder of its
  // own. Unreachable leaves why in LastDeviceError().
  virtual std::optional<DeviceLock::Outcome> LockDevice(const std::string &, DeviceLock &) { return std::nullopt; }
};

} // namespace orvane
