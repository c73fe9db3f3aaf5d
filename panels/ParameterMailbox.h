#pragma once

#include <cstdint>

namespace orvane {

// The one vendor command the parameter page talks to the device through:
// a mailbox command that opens and closes the device by itself.
// subCommand bit 0 set reads count bytes into data, clear writes them.
class ParameterMailbox {
public:
  virtual ~ParameterMailbox() = default;
  virtual bool ParameterTransfer(uint8_t command, uint8_t subCommand, uint8_t argument, uint8_t count,
                                 uint8_t *data) = 0;
};

} // namespace orvane
