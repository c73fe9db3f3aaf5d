#pragma once

#include "usbfs_node.h"

#include "usb/Clock.h"
#include "usb/VirtualDevice.h"

#include <umockdev.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvane::libusb_test {

// An emulated USB bus 1 for libusb in this process: sysfs, udev and the
// usbfs device nodes of umockdev's test bed (the program runs under
// umockdev-wrapper), a root hub, hubs, and device models plugged into
// ports. Make it before the first libusb context and let it go after the
// last one.
class EmulatedUsbBus {
public:
  EmulatedUsbBus();
  ~EmulatedUsbBus();
  EmulatedUsbBus(const EmulatedUsbBus &) = delete;
  EmulatedUsbBus &operator=(const EmulatedUsbBus &) = delete;

  // A hub at port path ("1-1"); its ports are then "1-1.1" and on.
  void AddHub(const std::string &port);
  // The device shows up at the port under the identity it presents now.
  UsbfsNode &Plug(const std::string &port, VirtualDevice &device);
  // What the kernel does when it notices: a device no longer present is
  // removed, one that restarted under another identity is removed and
  // added again at its port under the next free address, one present
  // again is added.
  void Sync();

  // The node of the device at the port as it was last added.
  UsbfsNode &Node(const std::string &port);
  // Its bus address (devnum) as the kernel assigned it.
  unsigned Address(const std::string &port) const;
  // Leaves the node readable but not writable, as without the udev rule.
  void DenyWriteAccess(const std::string &port);

private:
  struct Slot {
    std::string port;
    std::string sysPath;
    VirtualDevice *device = nullptr;
    uint64_t generation = 0;
    unsigned address = 0;
    bool listed = false;
    UsbfsNode *node = nullptr;
  };

  std::string AddRecord(const std::string &sysPath, unsigned address, uint16_t vendorId, uint16_t productId,
                        const std::vector<uint8_t> &descriptors);
  std::string ParentPath(const std::string &port) const;
  void List(Slot &slot);
  void Unlist(Slot &slot);
  Slot &Find(const std::string &port);
  const Slot &Find(const std::string &port) const;
  std::string NodePath(unsigned address) const;

  UMockdevTestbed *testbed_;
  std::vector<std::pair<std::string, std::string>> hubs_; // port, sysfs path
  std::vector<Slot> slots_;
  // Nodes stay until the end: the host may still hold one of a removed device open.
  std::vector<std::unique_ptr<UsbfsNode>> nodes_;
  unsigned nextAddress_ = 1;
};

// The host's clock: virtual time, and at every sleep the kernel catches up
// with devices that left or came back under another identity.
class KernelPacedClock final : public Clock {
public:
  KernelPacedClock(Clock &time, EmulatedUsbBus &bus) : time_(time), bus_(bus) {}
  void SleepMs(uint32_t ms) override {
    time_.SleepMs(ms);
    if (atSleep)
      atSleep();
    bus_.Sync();
  }
  uint64_t NowUs() const override { return time_.NowUs(); }

  // Runs at every sleep of the host, before the kernel catches up.
  std::function<void()> atSleep;

private:
  Clock &time_;
  EmulatedUsbBus &bus_;
};

// Opens on this thread are checked against the file modes even for root,
// as for the ordinary user the program runs as.
class WithoutFileModeOverride {
public:
  WithoutFileModeOverride();
  ~WithoutFileModeOverride();
  WithoutFileModeOverride(const WithoutFileModeOverride &) = delete;
  WithoutFileModeOverride &operator=(const WithoutFileModeOverride &) = delete;

private:
  bool dropped_ = false;
  uint32_t savedEffective_ = 0;
};

} // namespace orvane::libusb_test
