#include "testing/SimulatedUpdate.h"

#include "isp/OneButtonUpdate.h"
#include "isp/UpdateScreen.h"
#include "testing/FlashChecks.h"
#include "usb/DeviceTable.h"

#include <algorithm>

namespace orvane::sim {

namespace {

SimConfig WithoutWireTime(SimConfig config) {
  config.transferCostUs = 0;
  return config;
}

} // namespace

SimulatedUpdate::SimulatedUpdate(SimConfig config, uint64_t transferLatencyUs)
    : chip_(devices_.PlugChip(config.location, WithoutWireTime(config))) {
  devices_.transport.SetLatencyHook([this, transferLatencyUs](const SetupPacket &, const TransferResult &) {
    devices_.clock.AdvanceUs(transferLatencyUs);
    // Hundreds of thousands of transfers make an update: keep no record.
    devices_.transport.ClearTransfers();
  });
}

bool SimulatedUpdate::Connect(VirtualDevice *device, DeviceBus *driverBus) {
  if (device)
    devices_.Plug(chip_.Config().location, *device);
  usb_ = std::make_unique<VantrelUsb>(driverBus ? *driverBus : devices_.bus);
  commands_ = std::make_unique<ChipCommands>(*usb_, devices_.clock, flash_.FlashId);
  const UsbDeviceInfo described = chip_.Describe();
  usb_->SetTarget(MatchTextOf({described.vendorId, described.productId}));
  usb_->FindDevice();
  return usb_->IsFound();
}

void SimulatedUpdate::LoadImage(const std::vector<uint8_t> &bytes) {
  FillImageBuffer(image_.ImageBuffer, 0xFF);
  const size_t length = std::min<size_t>(bytes.size(), kImageBufferSize);
  std::copy_n(bytes.begin(), length, image_.ImageBuffer.begin());
  image_.ImageLength = static_cast<uint32_t>(length);
  image_.ImageReady = true;
}

bool SimulatedUpdate::Run(IspView &ispView, UpdateStatusView &status) {
  UpdateScreen screen(status, ispView);
  const UpdateVerdict verdict = OneButtonUpdate(*commands_, image_, flash_, screen).Run();
  attempts_ = verdict.attempts;
  reason_ = verdict.reason;
  refusal_ = verdict.refusal;
  flashChanged_ = verdict.flashChanged;
  return verdict.success;
}

bool SimulatedUpdate::FlashHoldsImage() {
  return HoldsOnlyImage(chip_, std::span<const uint8_t>(image_.ImageBuffer).first(image_.ImageLength));
}

} // namespace orvane::sim
