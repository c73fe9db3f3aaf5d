#pragma once

#include "sim/DeviceFirmware.h"
#include "sim/DeviceTime.h"
#include "sim/FlashChannel.h"
#include "sim/I2cBus.h"
#include "sim/I2cEeprom.h"
#include "sim/I2cMaster.h"
#include "sim/I2cRegisterDevice.h"
#include "sim/IspGate.h"
#include "sim/ParameterStore.h"
#include "sim/RegisterWindow.h"
#include "sim/SerialFlash.h"
#include "sim/SimConfig.h"
#include "sim/TransferFaults.h"
#include "usb/Clock.h"
#include "usb/VirtualDevice.h"

#include <array>
#include <atomic>
#include <functional>

namespace orvane::sim {

// The bridge chip with its serial flash, its I2C bus and its firmware, as a
// device that answers control transfers. It follows no host sequence: it
// answers each request the way the chip would, so a host that gets the
// order wrong sees what it would see on real hardware.
class ChipSimulator final : public VirtualDevice {
public:
  using TransferObserver = std::function<void(const SetupPacket &, const uint8_t *data, const TransferResult &)>;

  explicit ChipSimulator(Clock &clock, SimConfig config = {});

  UsbDeviceInfo Describe() const override;
  uint64_t Generation() const override { return generation_; }
  bool Present() const override { return present_; }
  void ConnectionOpened() override { ++openConnections_; }
  void ConnectionClosed() override;
  TransferResult Control(const SetupPacket &setup, uint8_t *data) override;

  // The parts, for tests to look at and to set up.
  SerialFlash &Flash() { return flash_; }
  I2cBus &I2c() { return bus_; }
  I2cEeprom &Eeprom() { return eeprom_; }
  I2cRegisterDevice &RegisterDevice() { return registerDevice_; }
  DeviceFirmware &Firmware() { return firmware_; }
  ParameterStore &Parameters() { return parameters_; }
  RegisterWindow &Registers() { return registers_; }
  TransferFaults &Faults() { return faults_; }
  DeviceTime &Time() { return time_; }
  const SimConfig &Config() const { return config_; }

  bool InIspMode() const { return isp_.Active(); }
  bool InUpdateMode() const { return updateMode_; }
  SimIdentity Identity() const;
  int OpenConnections() const { return openConnections_; }
  // Transfers that reached the device, by request code, and all of them.
  uint64_t TransferCount(uint8_t request) const { return counts_[request]; }
  uint64_t TransferCount() const { return total_; }

  void SetStreamStatus(uint8_t rate, uint8_t extra, uint8_t flags) { firmware_.SetStreamStatus(rate, extra, flags); }
  // After count more transfers the device is gone (0: at once).
  void UnplugAfter(uint64_t count);
  void Unplug() { present_ = false; }
  // Plugged in again: powered up afresh, under a new generation.
  void Replug();
  void SetTransferObserver(TransferObserver observer) { observer_ = std::move(observer); }

private:
  TransferResult Dispatch(const SetupPacket &setup, uint8_t *data);
  TransferResult Standard(const SetupPacket &setup, uint8_t *data);
  TransferResult FlashChannelRequest(const SetupPacket &setup, uint8_t *data);
  TransferResult IspRequest(const SetupPacket &setup);
  TransferResult RegisterRequest(const SetupPacket &setup, uint8_t *data);
  void MaybeRestart();
  void Restart();
  bool FlashHoldsFirmware() const;

  SimConfig config_;
  DeviceTime time_;
  SerialFlash flash_;
  FlashChannel channel_;
  IspGate isp_;
  RegisterWindow registers_;
  I2cBus bus_;
  I2cEeprom eeprom_;
  I2cRegisterDevice registerDevice_;
  I2cMaster i2cMaster_;
  ParameterStore parameters_;
  DeviceFirmware firmware_;
  TransferFaults faults_;
  // A silence armed by a fault lasts until then, each transfer costing the
  // host silenceTimeoutMs_.
  uint64_t silentUntilUs_ = 0;
  uint32_t silenceTimeoutMs_ = 1000;
  TransferObserver observer_;
  std::array<uint64_t, 256> counts_{};
  uint64_t total_ = 0;
  std::atomic<uint64_t> generation_{1};
  std::atomic<bool> present_{true};
  bool updateMode_ = true;
  int openConnections_ = 0;
};

} // namespace orvane::sim
