#include "usb/DevicePin.h"

namespace orvane {

bool DevicePin::Accepts(const InterfacePlace &place) const {
  if (place.location == location)
    return place.serial == serial;
  return serialIsUnique && !serial.empty() && place.serial == serial;
}

} // namespace orvane
