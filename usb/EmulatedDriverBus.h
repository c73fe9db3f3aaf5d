#pragma once

#include "usb/DeviceBus.h"
#include "usb/UsbTransport.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

// The device contract over USB transports (libusb, virtual devices, the
// simulator), with the interfaces the two kernel drivers would show: every
// device of every transport is an interface of the generic class; a device
// with an audio interface is also one of the audio-driver class. A setup
// packet goes to the device as it is, one control transfer; only what the
// audio driver cannot carry is as it would make it: a vendor request to
// the chip, of the packet's direction.
class EmulatedDriverBus final : public DeviceBus {
public:
  EmulatedDriverBus();
  ~EmulatedDriverBus() override;

  // Listed in the order added. The first form does not take ownership:
  // the transport must outlive the bus.
  void AddTransport(UsbTransport &transport);
  UsbTransport &AddTransport(std::unique_ptr<UsbTransport> transport);

  // "\\?\usb#vid_3b5d&pid_f0b8#<transport>.<location>#{class guid}", lower case
  // apart from the location.
  static std::string InterfacePath(const std::string &transportName, const UsbDeviceInfo &device,
                                   const Guid &interfaceClass);

  std::optional<std::vector<std::string>> ListInterfaces(const Guid &interfaceClass) override;
  DeviceHandle Open(const std::string &path) override;
  bool Control(DeviceHandle handle, const SetupPacket &setup, uint8_t *data, uint32_t *bytesReturned) override;
  bool Probe(DeviceHandle handle) override;
  void Close(DeviceHandle handle) override;
  DeviceLoss Loss(DeviceHandle handle) const override;
  std::vector<std::string> ListingProblems() override;
  DeviceError LastDeviceError() const override { return lastError_; }
  std::optional<InterfacePlace> PlaceOf(const std::string &path) override;
  bool StillAttached(const std::string &path) override;
  // The transport that path names locks its device.
  std::optional<DeviceLock::Outcome> LockDevice(const std::string &path, DeviceLock &lock) override;

  // Transfers in a row that fail (time-outs, mostly) before the device
  // counts as no longer answering.
  static constexpr int kFailuresUntilLost = 3;

  size_t OpenHandleCount() const { return handles_.size(); }

private:
  // The location in "#<transport>.<location>#" of path, if it is the
  // transport's path form at all.
  static std::optional<std::string> LocationIn(const std::string &path, const UsbTransport &transport);

  struct OpenDevice {
    bool audioDriver;
    std::unique_ptr<UsbConnection> connection;
    int failuresInRow = 0;
    DeviceLoss loss = DeviceLoss::None;
  };

  // One control transfer on the connection, noting a device that is gone
  // or has stopped answering; a lost device is not asked again.
  TransferResult Control(OpenDevice &device, const SetupPacket &setup, uint8_t *data);

  // One control transfer; for IN the answer reaches out only when the whole
  // data stage arrived.
  bool Transfer(OpenDevice &device, const SetupPacket &setup, const uint8_t *outData, uint8_t *inData,
                uint32_t *bytesReturned);
  // The transport and the location an interface path names; nullopt for a
  // path of no transport here.
  std::optional<std::pair<UsbTransport *, std::string>> TransportPlace(const std::string &path) const;
  // A call the driver turns down before any transfer.
  bool Refuse(const std::string &why);
  // A transfer that did not go through, for the reason it gives.
  bool Fail(DeviceError error);

  std::vector<UsbTransport *> transports_;
  std::vector<std::unique_ptr<UsbTransport>> owned_;
  std::map<DeviceHandle, OpenDevice> handles_;
  // Of the interfaces last listed: the path holds the location, the serial
  // number is what the device said then.
  std::map<std::string, InterfacePlace> places_;
  DeviceHandle nextHandle_ = 1;
  DeviceError lastError_;
};

} // namespace orvane
