#pragma once

#include "usb/UsbTransport.h"
#include "usb/VirtualDevice.h"

#include <umockdev.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace orvane::libusb_test {

// One usbfs device node (/dev/bus/usb/BBB/DDD) as the kernel presents it
// to libusb: the ioctls libusb issues on an open node, each control
// transfer carried to a device model. The answers come on umockdev's worker
// thread while the host waits in its ioctl.
class UsbfsNode {
public:
  // How long a transfer the device never answers is held before the node
  // ends it itself, so a host that would wait for ever fails instead of
  // hanging the test.
  static constexpr std::chrono::seconds kPatience{5};

  explicit UsbfsNode(VirtualDevice &device);
  ~UsbfsNode();
  UsbfsNode(const UsbfsNode &) = delete;
  UsbfsNode &operator=(const UsbfsNode &) = delete;

  UMockdevIoctlBase *Handler() const { return handler_; }

  // The device left the bus: transfers still in flight end with ESHUTDOWN,
  // every later request fails with ENODEV.
  void Disconnect();
  // After `answered` more transfers have been answered, the next `count`
  // are taken but never completed, as by a device that stopped responding.
  void SwallowTransfers(uint64_t answered, uint64_t count);

  // Every setup packet submitted on the node, in order.
  std::vector<SetupPacket> Wire() const;
  // Transfers the host took back (USBDEVFS_DISCARDURB) after giving up on them.
  uint64_t Discarded() const;
  // Requests refused with ENODEV because the device had gone.
  uint64_t RefusedAsGone() const;
  // A swallowed transfer was still waited for after kPatience.
  bool HostKeptWaiting() const;

private:
  struct Urb {
    UMockdevIoctlData *data; // the host's struct usbdevfs_urb, owned reference
    int status = 0;
    int actual = 0;
    std::chrono::steady_clock::time_point since{};
  };

  static gboolean OnIoctl(UMockdevIoctlBase *handler, UMockdevIoctlClient *client, gpointer self);
  bool Handle(UMockdevIoctlClient *client);
  void Submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
  void Reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
  void Discard(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
  bool Gone() const;
  bool SwallowNext();
  void Refuse(UMockdevIoctlClient *client, int error);

  VirtualDevice &device_;
  const uint64_t generation_; // the identity the node was made for
  UMockdevIoctlBase *handler_;
  gulong signal_ = 0;

  mutable std::mutex mutex_;
  bool disconnected_ = false;
  uint64_t answerBeforeSwallow_ = 0;
  uint64_t toSwallow_ = 0;
  std::vector<SetupPacket> wire_;
  std::deque<Urb> done_;      // answered, waiting to be reaped
  std::deque<Urb> swallowed_; // never answered
  uint64_t discarded_ = 0;
  uint64_t refusedAsGone_ = 0;
  bool hostKeptWaiting_ = false;
};

} // namespace orvane::libusb_test
