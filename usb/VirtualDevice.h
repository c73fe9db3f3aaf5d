#pragma once

#include "usb/UsbTransport.h"

#include <cstdint>

namespace orvane {

// A device model that answers control transfers: the chip simulator, or a
// scripted device in a test. Served in-process by the recording transport
// and over a Unix socket by the virtual device server.
class VirtualDevice {
public:
  virtual ~VirtualDevice() = default;
  virtual UsbDeviceInfo Describe() const = 0;
  // Changes whenever the device re-enumerates with another identity;
  // connections opened under an older generation see TransferStatus::Gone.
  virtual uint64_t Generation() const = 0;
  virtual bool Present() const { return true; }
  virtual void ConnectionOpened() {}
  virtual void ConnectionClosed() {}
  virtual TransferResult Control(const SetupPacket &setup, uint8_t *data) = 0;
};

} // namespace orvane
