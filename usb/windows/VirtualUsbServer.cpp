#include "usb/VirtualUsbServer.h"

// Virtual devices are published as Unix-domain sockets, which neither
// MinGW's Windows nor Wine offers the programs here: on Windows the server
// refuses to start, with the reason, rather than pretend to serve.

namespace orvane {

struct VirtualUsbServer::Impl {
  std::string name;
};

std::string VirtualDeviceDirectory() {
  return {};
}

VirtualUsbServer::VirtualUsbServer(VirtualDevice &, std::string name, std::string) : impl_(new Impl{std::move(name)}) {}

VirtualUsbServer::~VirtualUsbServer() {
  delete impl_;
}

bool VirtualUsbServer::Start(std::string *error) {
  *error = "virtual device " + impl_->name +
           ": serving needs Unix-domain sockets, which the Windows build does not have; run vantrel-devsim on Linux";
  return false;
}

void VirtualUsbServer::Run(const std::atomic<bool> &) {}

void VirtualUsbServer::Stop() {}

std::string VirtualUsbServer::SocketPath() const {
  return {};
}

} // namespace orvane
