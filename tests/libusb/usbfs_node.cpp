#include "usbfs_node.h"

#include "usb/DeviceDescriptor.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace orvane::libusb_test {

namespace {

constexpr size_t kSetupSize = 8;
// What a current kernel offers; libusb only looks at a few of them.
constexpr uint32_t kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                   USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_BULK_SCATTER_GATHER |
                                   USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

SetupPacket ParseSetup(const uint8_t *bytes) {
  SetupPacket setup;
  setup.requestType = bytes[0];
  setup.request = bytes[1];
  setup.value = static_cast<uint16_t>(bytes[2] | bytes[3] << 8);
  setup.index = static_cast<uint16_t>(bytes[4] | bytes[5] << 8);
  setup.length = static_cast<uint16_t>(bytes[6] | bytes[7] << 8);
  return setup;
}

// The URB status the host controller driver gives each outcome.
int UrbStatus(TransferStatus status) {
  switch (status) {
  case TransferStatus::Completed:
    return 0;
  case TransferStatus::Stalled:
    return -EPIPE;
  case TransferStatus::Gone:
    return -ESHUTDOWN;
  case TransferStatus::Failed:
    break;
  }
  return -EPROTO;
}

usbdevfs_urb *UrbOf(UMockdevIoctlData *data) {
  return reinterpret_cast<usbdevfs_urb *>(data->data);
}

} // namespace

UsbfsNode::UsbfsNode(VirtualDevice &device)
    : device_(device), generation_(device.Generation()), handler_(umockdev_ioctl_base_new()) {
  signal_ = g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&UsbfsNode::OnIoctl), this);
}

UsbfsNode::~UsbfsNode() {
  g_signal_handler_disconnect(handler_, signal_);
  for (auto *queue : {&done_, &swallowed_})
    for (const Urb &urb : *queue)
      g_object_unref(urb.data);
  g_object_unref(handler_);
}

void UsbfsNode::Disconnect() {
  std::lock_guard lock(mutex_);
  disconnected_ = true;
  for (Urb &urb : swallowed_) {
    urb.status = -ESHUTDOWN;
    done_.push_back(urb);
  }
  swallowed_.clear();
}

void UsbfsNode::SwallowTransfers(uint64_t answered, uint64_t count) {
  std::lock_guard lock(mutex_);
  answerBeforeSwallow_ = answered;
  toSwallow_ = count;
}

std::vector<SetupPacket> UsbfsNode::Wire() const {
  std::lock_guard lock(mutex_);
  return wire_;
}

uint64_t UsbfsNode::Discarded() const {
  std::lock_guard lock(mutex_);
  return discarded_;
}

uint64_t UsbfsNode::RefusedAsGone() const {
  std::lock_guard lock(mutex_);
  return refusedAsGone_;
}

bool UsbfsNode::HostKeptWaiting() const {
  std::lock_guard lock(mutex_);
  return hostKeptWaiting_;
}

gboolean UsbfsNode::OnIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self) {
  return static_cast<UsbfsNode *>(self)->Handle(client) ? TRUE : FALSE;
}

bool UsbfsNode::Gone() const {
  // A device that restarted under another identity is a new device to the
  // kernel: the node of the old one is dead.
  return disconnected_ || !device_.Present() || device_.Generation() != generation_;
}

void UsbfsNode::Refuse(UMockdevIoctlClient *client, int error) {
  if (error == ENODEV)
    ++refusedAsGone_;
  umockdev_ioctl_client_complete(client, -1, error);
}

bool UsbfsNode::Handle(UMockdevIoctlClient *client) {
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
  std::lock_guard lock(mutex_);
  switch (request) {
  case USBDEVFS_GET_CAPABILITIES: {
    if (Gone()) {
      Refuse(client, ENODEV);
      return true;
    }
    UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
    if (!caps) {
      Refuse(client, EFAULT);
      return true;
    }
    std::memcpy(caps->data, &kCapabilities, sizeof kCapabilities);
    g_object_unref(caps);
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
  }
  case USBDEVFS_SUBMITURB:
    Submit(client, arg);
    return true;
  case USBDEVFS_REAPURB:
  case USBDEVFS_REAPURBNDELAY:
    Reap(client, arg);
    return true;
  case USBDEVFS_DISCARDURB:
    Discard(client, arg);
    return true;
  case USBDEVFS_CLAIMINTERFACE:
  case USBDEVFS_RELEASEINTERFACE:
  case USBDEVFS_SETINTERFACE:
  case USBDEVFS_SETCONFIGURATION:
  case USBDEVFS_CLEAR_HALT:
  case USBDEVFS_RESETEP:
  case USBDEVFS_RESET:
    if (Gone())
      Refuse(client, ENODEV);
    else
      umockdev_ioctl_client_complete(client, 0, 0);
    return true;
  default:
    return false; // umockdev answers ENOTTY, as the kernel does for an unknown request
  }
}

bool UsbfsNode::SwallowNext() {
  if (toSwallow_ == 0)
    return false;
  if (answerBeforeSwallow_ > 0) {
    --answerBeforeSwallow_;
    return false;
  }
  --toSwallow_;
  return true;
}

void UsbfsNode::Submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  if (Gone()) {
    Refuse(client, ENODEV);
    return;
  }
  UMockdevIoctlData *urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  if (!urbData) {
    Refuse(client, EFAULT);
    return;
  }
  usbdevfs_urb *urb = UrbOf(urbData);
  // Only control transfers on endpoint 0 are expected of the host here.
  if (urb->type != USBDEVFS_URB_TYPE_CONTROL || (urb->endpoint & 0x7F) != 0 || urb->buffer_length < 0 ||
      static_cast<size_t>(urb->buffer_length) < kSetupSize) {
    g_object_unref(urbData);
    Refuse(client, EINVAL);
    return;
  }
  UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                          static_cast<gsize>(urb->buffer_length), nullptr);
  if (!buffer) {
    g_object_unref(urbData);
    Refuse(client, EFAULT);
    return;
  }
  const SetupPacket setup = ParseSetup(buffer->data);
  // The kernel refuses a data stage longer than the buffer behind it.
  if (setup.length > static_cast<size_t>(urb->buffer_length) - kSetupSize) {
    g_object_unref(buffer);
    g_object_unref(urbData);
    Refuse(client, EINVAL);
    return;
  }
  wire_.push_back(setup);
  Urb taken{urbData};
  if (SwallowNext()) {
    taken.since = std::chrono::steady_clock::now();
    swallowed_.push_back(taken);
  } else {
    const TransferResult result = ServeControl(device_, setup, buffer->data + kSetupSize);
    if (result.status == TransferStatus::Gone) {
      g_object_unref(buffer);
      g_object_unref(urbData);
      Refuse(client, ENODEV);
      return;
    }
    taken.status = UrbStatus(result.status);
    taken.actual = result.ok() ? static_cast<int>(result.actual) : 0;
    done_.push_back(taken);
  }
  g_object_unref(buffer);
  umockdev_ioctl_client_complete(client, 0, 0);
}

void UsbfsNode::Reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  if (done_.empty() && !swallowed_.empty() && std::chrono::steady_clock::now() - swallowed_.front().since > kPatience) {
    hostKeptWaiting_ = true;
    Urb urb = swallowed_.front();
    swallowed_.pop_front();
    urb.status = -EPROTO;
    done_.push_back(urb);
  }
  if (done_.empty()) {
    Refuse(client, Gone() ? ENODEV : EAGAIN);
    return;
  }
  UMockdevIoctlData *pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), nullptr);
  if (!pointer) {
    Refuse(client, EFAULT);
    return;
  }
  Urb urb = done_.front();
  done_.pop_front();
  UrbOf(urb.data)->status = urb.status;
  UrbOf(urb.data)->actual_length = urb.actual;
  umockdev_ioctl_data_set_ptr(pointer, 0, urb.data);
  g_object_unref(pointer);
  g_object_unref(urb.data);
  umockdev_ioctl_client_complete(client, 0, 0);
}

void UsbfsNode::Discard(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  gulong address = 0;
  std::memcpy(&address, arg->data, std::min<size_t>(sizeof address, static_cast<size_t>(arg->data_len)));
  for (auto it = swallowed_.begin(); it != swallowed_.end(); ++it) {
    if (it->data->client_addr != address)
      continue;
    Urb urb = *it;
    swallowed_.erase(it);
    urb.status = -ENOENT;
    done_.push_back(urb);
    ++discarded_;
    umockdev_ioctl_client_complete(client, 0, 0);
    return;
  }
  // Already answered: the host reaps it as it is.
  Refuse(client, EINVAL);
}

} // namespace orvane::libusb_test
