#pragma once

#include "usb/VirtualDevice.h"

#include <atomic>
#include <string>

namespace orvane {

// Where virtual devices publish their sockets: $XDG_RUNTIME_DIR/vantrel-vusb
// when XDG_RUNTIME_DIR is an absolute path, else /tmp/vantrel-vusb-<uid>.
// On Windows the folder of their marker files, %LOCALAPPDATA%\vantrel-vusb.
std::string VirtualDeviceDirectory();

// Serves one VirtualDevice over a Unix-domain socket (on Windows a named
// pipe, see usb/windows/VirtualPipe.h) with the virtual USB device protocol. Requests of all connections are handled
// one at a time on the thread that calls Run.
class VirtualUsbServer {
public:
  // name must match [A-Za-z0-9_.-]{1,64}; directory empty = VirtualDeviceDirectory().
  VirtualUsbServer(VirtualDevice &device, std::string name, std::string directory = {});
  ~VirtualUsbServer(); // Stop()
  VirtualUsbServer(const VirtualUsbServer &) = delete;
  VirtualUsbServer &operator=(const VirtualUsbServer &) = delete;

  // Creates the directory (mode 0700) when missing, binds and listens.
  bool Start(std::string *error);
  // Serves until stop becomes true (checked at least every 100 ms).
  void Run(const std::atomic<bool> &stop);
  // Closes every connection and removes the socket file.
  void Stop();
  std::string SocketPath() const;

private:
  struct Impl;
  Impl *impl_;
};

} // namespace orvane
