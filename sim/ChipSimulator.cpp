#include "sim/ChipSimulator.h"

#include "usb/DeviceDescriptor.h"

#include <algorithm>
#include <cstdio>

namespace orvane::sim {

namespace {

namespace request {
constexpr uint8_t kFlashWrite = 0x80;
constexpr uint8_t kFlashQuery = 0x81;
constexpr uint8_t kFlashFetch = 0x82;
constexpr uint8_t kFlashReady = 0x83;
constexpr uint8_t kIspEnter = 0x84;
constexpr uint8_t kIspLeave = 0x85;
constexpr uint8_t kRegisterWrite = 0x90;
constexpr uint8_t kRegisterRead = 0x91;
} // namespace request

constexpr uint8_t kTypeMask = 0x60;
constexpr uint8_t kTypeStandard = 0x00;
constexpr uint8_t kTypeVendor = 0x40;
constexpr uint8_t kBankI2c = 0x0E;
constexpr uint8_t kBankMailbox = 0x00;
// The boot code looks at the start of the flash for a program.
constexpr size_t kFirmwareProbeBytes = 16;

TransferResult Stalled() {
  return {TransferStatus::Stalled, 0};
}
TransferResult Done(size_t actual) {
  return {TransferStatus::Completed, actual};
}

std::string PidText(uint16_t pid) {
  char text[5];
  std::snprintf(text, sizeof text, "%04x", pid);
  return text;
}

} // namespace

ChipSimulator::ChipSimulator(Clock &clock, SimConfig config)
    : config_(std::move(config)), time_(clock, config_.speed, config_.transferCostUs), flash_(config_.flashPart, time_),
      channel_(flash_, time_), eeprom_(time_), i2cMaster_(bus_, time_),
      firmware_(registers_, time_, parameters_, config_.eepromPresent) {
  if (config_.eepromPresent)
    bus_.Attach(eeprom_);
  bus_.Attach(registerDevice_);
  registers_.Attach(kBankI2c, i2cMaster_);
  registers_.Attach(kBankMailbox, firmware_);
  const std::string pid = PidText(config_.model.productId);
  parameters_.SetProductIdText(reinterpret_cast<const uint8_t *>(pid.data()));
  parameters_.SetDescriptorString(2, config_.serial);
  flash_.Load(0, config_.initialFlash.data(), config_.initialFlash.size());
  Restart();
  generation_ = 1;
  if (config_.startInUpdateMode) {
    updateMode_ = true;
    firmware_.SetRunning(false);
  }
}

bool ChipSimulator::FlashHoldsFirmware() const {
  const auto &memory = flash_.Contents();
  const size_t n = std::min(kFirmwareProbeBytes, memory.size());
  return std::any_of(memory.begin(), memory.begin() + n, [](uint8_t b) { return b != 0xFF; });
}

SimIdentity ChipSimulator::Identity() const {
  return updateMode_ ? UpdateIdentity(config_.updateVendorId) : ModelIdentity(config_.model);
}

UsbDeviceInfo ChipSimulator::Describe() const {
  const SimIdentity identity = Identity();
  UsbDeviceInfo info;
  info.location = config_.location;
  info.vendorId = identity.vendorId;
  info.productId = identity.productId;
  info.bcdDevice = identity.bcdDevice;
  info.hasAudioInterface = identity.audioInterface;
  info.serial = updateMode_ ? std::string() : config_.serial;
  return info;
}

void ChipSimulator::ConnectionClosed() {
  if (openConnections_ > 0)
    --openConnections_;
  MaybeRestart();
}

void ChipSimulator::UnplugAfter(uint64_t count) {
  if (count == 0)
    Unplug();
  else
    faults_.UnplugAfter(count);
}

void ChipSimulator::Replug() {
  flash_.PowerCycle();
  openConnections_ = 0;
  Restart();
  present_ = true;
}

void ChipSimulator::MaybeRestart() {
  if (isp_.LeftSinceRestart() && !isp_.Active() && openConnections_ == 0)
    Restart();
}

void ChipSimulator::Restart() {
  ++generation_;
  channel_.Reset();
  isp_.Reset();
  registers_.Reset();
  i2cMaster_.Reset();
  firmware_.Reset();
  updateMode_ = !FlashHoldsFirmware();
  firmware_.SetRunning(!updateMode_);
}

TransferResult ChipSimulator::Control(const SetupPacket &setup, uint8_t *data) {
  if (!present_)
    return {TransferStatus::Gone, 0};
  if (setup.length > 0 && data == nullptr)
    return {TransferStatus::Failed, 0};
  ++counts_[setup.request];
  ++total_;
  time_.ChargeTransfer(setup.length);
  TransferResult result;
  const auto fault = faults_.Hit(setup);
  if (fault && fault->action == FaultAction::Silence) {
    silentUntilUs_ = time_.Source().NowUs() + uint64_t{fault->delayMs} * 1000;
    silenceTimeoutMs_ = fault->hostTimeoutMs;
  }
  if (time_.Source().NowUs() < silentUntilUs_) {
    // Silent: the host waits its time-out, or until the silence ends and
    // its next try is answered.
    time_.Source().SleepMs(silenceTimeoutMs_);
    result = {TransferStatus::Failed, 0};
  } else if (fault && fault->action == FaultAction::Unplug) {
    Unplug();
    result = {TransferStatus::Gone, 0};
  } else if (fault && fault->action == FaultAction::Timeout) {
    time_.Source().SleepMs(fault->delayMs);
    result = {TransferStatus::Failed, 0};
  } else if (fault && fault->action == FaultAction::Fail) {
    result = {TransferStatus::Failed, 0};
  } else if (fault && fault->action == FaultAction::Stall) {
    result = Stalled();
  } else {
    if (fault && (fault->action == FaultAction::Delay || fault->action == FaultAction::Late))
      time_.Source().SleepMs(fault->delayMs);
    firmware_.Advance();
    result = Dispatch(setup, data);
    if (fault && fault->action == FaultAction::Flip && setup.isIn() && result.ok() && result.actual > 0)
      data[0] ^= fault->flipMask;
    if (fault && fault->action == FaultAction::Late)
      result = {TransferStatus::Failed, 0};
  }
  if (observer_)
    observer_(setup, data, result);
  if (faults_.CountTowardsUnplug())
    Unplug();
  else
    MaybeRestart();
  return result;
}

TransferResult ChipSimulator::Dispatch(const SetupPacket &setup, uint8_t *data) {
  const uint8_t type = setup.requestType & kTypeMask;
  if (type == kTypeStandard)
    return Standard(setup, data);
  if (type != kTypeVendor)
    return Stalled();
  switch (setup.request) {
  case request::kFlashWrite:
  case request::kFlashQuery:
  case request::kFlashFetch:
  case request::kFlashReady:
    return FlashChannelRequest(setup, data);
  case request::kIspEnter:
  case request::kIspLeave:
    return IspRequest(setup);
  case request::kRegisterWrite:
  case request::kRegisterRead:
    return RegisterRequest(setup, data);
  default:
    return Stalled();
  }
}

TransferResult ChipSimulator::Standard(const SetupPacket &setup, uint8_t *data) {
  if (!IsDeviceDescriptorRequest(setup))
    return Stalled();
  const auto descriptor = BuildDeviceDescriptor(Describe());
  const size_t n = std::min<size_t>(setup.length, descriptor.size());
  std::copy_n(descriptor.begin(), n, data);
  return Done(n);
}

TransferResult ChipSimulator::FlashChannelRequest(const SetupPacket &setup, uint8_t *data) {
  if (!isp_.Active())
    return Stalled();
  switch (setup.request) {
  case request::kFlashWrite:
    if (setup.isIn() || setup.index > 1)
      return Stalled();
    channel_.Write(data, setup.length, setup.index == 1);
    return Done(setup.length);
  case request::kFlashQuery:
    if (setup.isIn() || !channel_.Query(data, setup.length, setup.value))
      return Stalled();
    return Done(setup.length);
  case request::kFlashFetch:
    if (!setup.isIn())
      return Stalled();
    return Done(channel_.Fetch(data, setup.length));
  default:
    if (!setup.isIn())
      return Stalled();
    if (setup.length == 0)
      return Done(0);
    data[0] = channel_.Ready() ? 1 : 0;
    return Done(1);
  }
}

TransferResult ChipSimulator::IspRequest(const SetupPacket &setup) {
  if (setup.isIn())
    return Stalled();
  if (setup.request == request::kIspEnter) {
    if (isp_.Enter(setup.value, setup.index) == IspGate::Answer::Rejected)
      return Stalled();
    // The chip holds its processor while the flash is open to the host.
    firmware_.SetRunning(false);
    return Done(setup.length);
  }
  const bool wasActive = isp_.Active();
  if (isp_.Leave(setup.value, setup.index) == IspGate::Answer::Rejected)
    return Stalled();
  if (wasActive)
    channel_.Reset();
  return Done(setup.length);
}

TransferResult ChipSimulator::RegisterRequest(const SetupPacket &setup, uint8_t *data) {
  const bool read = setup.request == request::kRegisterRead;
  if (setup.isIn() != read || setup.index > 0xFF || setup.length == 0)
    return Stalled();
  const auto reg = static_cast<uint8_t>(setup.index);
  if (read) {
    data[0] = registers_.Read(reg);
    return Done(1);
  }
  registers_.Write(reg, data[0]);
  return Done(setup.length);
}

} // namespace orvane::sim
