#pragma once

#include "usb/DeviceBus.h"

#include <string>

namespace orvane {

// The device an action started on. Two dongles of one model answer to the
// same search; only where a device sits and the serial number it reports
// tell them apart, so an action that has to open its device again accepts
// nothing else.
struct DevicePin {
  std::string path;     // the interface path the action opened first
  std::string location; // port path, virtual device name
  std::string serial;   // empty when the device reports none
  // Whether the serial number names this device alone: cheap dongles often
  // share one, and then only the location does.
  bool serialIsUnique = false;

  // The same location and the same serial number (or none, as before), or,
  // after a re-enumeration elsewhere, the device's own serial number when
  // no other device carries it. A device at its place that reports another
  // serial number, or none where it reported one, is another device as far
  // as anyone can tell.
  bool Accepts(const InterfacePlace &place) const;
};

} // namespace orvane
