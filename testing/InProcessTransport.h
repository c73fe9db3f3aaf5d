#pragma once

#include "usb/UsbTransport.h"
#include "usb/VirtualDevice.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// One transfer as it passed between host and device.
struct RecordedTransfer {
  std::string location;
  SetupPacket setup;
  std::vector<uint8_t> out; // data stage sent (OUT)
  std::vector<uint8_t> in;  // data stage answered (IN), actual bytes
  TransferStatus status = TransferStatus::Failed;
};

// Serves device models attached by name inside the process and records
// every transfer, for tests. The devices are not owned: detach a device
// before it is destroyed. Connections still open on a detached device see
// Gone and no longer report their close to it. Single-threaded.
class InProcessTransport final : public UsbTransport {
public:
  // Answers a transfer in place of the device when it returns a result
  // (for example a stall, to make a probe fail); nullopt lets the device
  // answer. Runs before the device sees anything.
  using ScriptHook = std::function<std::optional<TransferResult>(const std::string &location, const SetupPacket &setup,
                                                                 uint8_t *data)>;
  // Called after every transfer, for example to advance a VirtualClock by
  // the time the transfer would take on the bus.
  using LatencyHook = std::function<void(const SetupPacket &setup, const TransferResult &result)>;

  explicit InProcessTransport(std::string name = "mem");
  ~InProcessTransport() override;

  // Attached devices are listed in the order they were attached. A name
  // already in use replaces that device.
  void Attach(const std::string &location, VirtualDevice &device);
  void Detach(const std::string &location);

  const std::vector<RecordedTransfer> &Transfers() const;
  void ClearTransfers();
  void SetScriptHook(ScriptHook hook);
  void SetLatencyHook(LatencyHook hook);
  int OpenConnections() const;

  std::string Name() const override { return name_; }
  std::vector<UsbDeviceInfo> Enumerate() override;
  std::unique_ptr<UsbConnection> Connect(const std::string &location, DeviceError *error) override;

  struct State; // shared with the open connections

private:
  std::string name_;
  std::shared_ptr<State> state_;
};

} // namespace orvane
