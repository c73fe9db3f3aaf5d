#include "emulated_usb_bus.h"

#include "sysfs_descriptors.h"

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace orvane::libusb_test {

namespace {

constexpr unsigned kBus = 1;
constexpr uint16_t kLinuxFoundation = 0x1d6b;
constexpr uint16_t kRootHub2 = 0x0002;
constexpr uint16_t kHubVendor = 0x05e3; // a common four-port hub
constexpr uint16_t kHubProduct = 0x0608;

std::string Hex(const std::vector<uint8_t> &bytes) {
  std::string text;
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    text += digits;
  }
  return text;
}

std::string Padded(unsigned number) {
  char text[4];
  std::snprintf(text, sizeof text, "%03u", number);
  return text;
}

std::string Hex4(uint16_t value) {
  char text[5];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

UMockdevTestbed *NewTestbed() {
  // Without the preload library libusb would see the real /sys and /dev.
  const char *preload = std::getenv("LD_PRELOAD");
  if (!preload || !std::strstr(preload, "libumockdev-preload"))
    throw std::runtime_error("not running under umockdev-wrapper");
  return umockdev_testbed_new();
}

} // namespace

EmulatedUsbBus::EmulatedUsbBus() : testbed_(NewTestbed()) {
  const std::string root = "/sys/devices/usb1";
  AddRecord(root, nextAddress_++, kLinuxFoundation, kRootHub2, HubDescriptors(kLinuxFoundation, kRootHub2));
  hubs_.emplace_back("usb1", root);
}

EmulatedUsbBus::~EmulatedUsbBus() {
  g_object_unref(testbed_);
}

std::string EmulatedUsbBus::NodePath(unsigned address) const {
  return "/dev/bus/usb/" + Padded(kBus) + "/" + Padded(address);
}

std::string EmulatedUsbBus::AddRecord(const std::string &sysPath, unsigned address, uint16_t vendorId,
                                      uint16_t productId, const std::vector<uint8_t> &descriptors) {
  const std::string node = NodePath(address);
  // The sysfs attributes and udev properties libusb reads, in umockdev's
  // record format; "\n" ends an attribute value as in the kernel's files.
  const std::string record = "P: " + sysPath.substr(4) + "\n" + "N: " + node.substr(5) + "\n" +
                             "E: SUBSYSTEM=usb\n"
                             "E: DEVTYPE=usb_device\n"
                             "E: DRIVER=usb\n"
                             "E: DEVNAME=" +
                             node + "\n" + "E: BUSNUM=" + Padded(kBus) + "\n" + "E: DEVNUM=" + Padded(address) + "\n" +
                             "A: busnum=" + std::to_string(kBus) + "\\n\n" + "A: devnum=" + std::to_string(address) +
                             "\\n\n" + "A: speed=480\\n\n" + "A: bConfigurationValue=1\\n\n" +
                             "A: idVendor=" + Hex4(vendorId) + "\\n\n" + "A: idProduct=" + Hex4(productId) + "\\n\n" +
                             "H: descriptors=" + Hex(descriptors) + "\n";
  GError *error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_, record.c_str(), &error)) {
    const std::string message = error ? error->message : "unknown error";
    g_clear_error(&error);
    throw std::runtime_error("umockdev cannot add " + sysPath + ": " + message);
  }
  return node;
}

std::string EmulatedUsbBus::ParentPath(const std::string &port) const {
  const auto cut = port.find_last_of('.');
  const std::string parent = cut == std::string::npos ? std::string("usb1") : port.substr(0, cut);
  for (const auto &[hubPort, path] : hubs_)
    if (hubPort == parent)
      return path;
  throw std::runtime_error("no hub for port " + port);
}

void EmulatedUsbBus::AddHub(const std::string &port) {
  const std::string path = ParentPath(port) + "/" + port;
  AddRecord(path, nextAddress_++, kHubVendor, kHubProduct, HubDescriptors(kHubVendor, kHubProduct));
  hubs_.emplace_back(port, path);
}

UsbfsNode &EmulatedUsbBus::Plug(const std::string &port, VirtualDevice &device) {
  Slot slot;
  slot.port = port;
  slot.sysPath = ParentPath(port) + "/" + port;
  slot.device = &device;
  slots_.push_back(slot);
  List(slots_.back());
  return *slots_.back().node;
}

void EmulatedUsbBus::List(Slot &slot) {
  slot.address = nextAddress_++;
  slot.generation = slot.device->Generation();
  nodes_.push_back(std::make_unique<UsbfsNode>(*slot.device));
  slot.node = nodes_.back().get();
  // The handler first, so the node answers from the moment it appears.
  GError *error = nullptr;
  if (!umockdev_testbed_attach_ioctl(testbed_, NodePath(slot.address).c_str(), slot.node->Handler(), &error)) {
    const std::string message = error ? error->message : "unknown error";
    g_clear_error(&error);
    throw std::runtime_error("umockdev cannot emulate " + NodePath(slot.address) + ": " + message);
  }
  const UsbDeviceInfo identity = slot.device->Describe();
  AddRecord(slot.sysPath, slot.address, identity.vendorId, identity.productId, SysfsDescriptors(identity));
  slot.listed = true;
}

void EmulatedUsbBus::Unlist(Slot &slot) {
  slot.node->Disconnect();
  umockdev_testbed_uevent(testbed_, slot.sysPath.c_str(), "remove");
  umockdev_testbed_remove_device(testbed_, slot.sysPath.c_str());
  slot.listed = false;
}

void EmulatedUsbBus::Sync() {
  for (Slot &slot : slots_) {
    const bool present = slot.device->Present();
    if (slot.listed && (!present || slot.device->Generation() != slot.generation))
      Unlist(slot);
    if (!slot.listed && present)
      List(slot);
  }
}

EmulatedUsbBus::Slot &EmulatedUsbBus::Find(const std::string &port) {
  for (Slot &slot : slots_)
    if (slot.port == port)
      return slot;
  throw std::runtime_error("nothing plugged into port " + port);
}

const EmulatedUsbBus::Slot &EmulatedUsbBus::Find(const std::string &port) const {
  return const_cast<EmulatedUsbBus *>(this)->Find(port);
}

UsbfsNode &EmulatedUsbBus::Node(const std::string &port) {
  return *Find(port).node;
}

unsigned EmulatedUsbBus::Address(const std::string &port) const {
  return Find(port).address;
}

void EmulatedUsbBus::DenyWriteAccess(const std::string &port) {
  gchar *root = umockdev_testbed_get_root_dir(testbed_);
  const std::string file = std::string(root) + NodePath(Find(port).address);
  g_free(root);
  if (chmod(file.c_str(), 0444) != 0)
    throw std::runtime_error("cannot change the mode of " + file);
}

WithoutFileModeOverride::WithoutFileModeOverride() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0)
    return;
  savedEffective_ = data[0].effective;
  data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
  dropped_ = syscall(SYS_capset, &header, data) == 0;
}

WithoutFileModeOverride::~WithoutFileModeOverride() {
  if (!dropped_)
    return;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0)
    return;
  data[0].effective = savedEffective_;
  syscall(SYS_capset, &header, data);
}

} // namespace orvane::libusb_test
