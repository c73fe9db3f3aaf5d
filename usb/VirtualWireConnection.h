#pragma once

#include "usb/UsbTransport.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

// A connection to a virtual device: each control transfer is one request
// frame and one answer frame over the platform's wire (a Unix socket, a
// named pipe), which the subclass provides.
class VirtualWireConnection : public UsbConnection {
public:
  TransferResult Control(const SetupPacket &setup, uint8_t *data) final;

protected:
  // The answer's body, or none; timedOut when the wire was still open but
  // nothing came in time.
  struct Answer {
    std::optional<std::vector<uint8_t>> body;
    bool timedOut = false;
  };
  virtual bool WireOpen() const = 0;
  virtual void CloseWire() = 0;
  virtual Answer Exchange(std::span<const uint8_t> request) = 0;

private:
  bool silent_ = false;
};

} // namespace orvane
