#include "testing/SimulatedUpdate.h"

#include "isp/OneButtonUpdate.h"
#include "usb/DeviceTable.h"

#include <algorithm>

namespace orvane::sim {

namespace {

SimConfig WithoutWireTime(SimConfig config) {
  config.transferCostUs = 0;
  return config;
}

std::string UpdateTarget(uint16_t vendorId) {
  return MatchTextOf({vendorId, kUpdateProductId}).data();
}

} // namespace

SimulatedUpdate::SimulatedUpdate(SimConfig config, uint64_t transferLatencyUs)
    : chip_(clock_, WithoutWireTime(std::move(config))) {
  transport_.SetLatencyHook([this, transferLatencyUs](const SetupPacket &, const TransferResult &) {
    clock_.AdvanceUs(transferLatencyUs);
    // Hundreds of thousands of transfers make an update: keep no record.
    transport_.ClearTransfers();
  });
  bus_.AddTransport(transport_);
}

SimulatedUpdate::~SimulatedUpdate() {
  commands_.reset();
  usb_.reset();
  transport_.Detach(chip_.Config().location);
}

bool SimulatedUpdate::Connect(VirtualDevice *device, DeviceBus *driverBus) {
  transport_.Attach(chip_.Config().location, device ? *device : chip_);
  usb_ = std::make_unique<VantrelUsb>(driverBus ? *driverBus : bus_);
  commands_ = std::make_unique<ChipCommands>(*usb_, clock_, flash_.FlashId);
  usb_->SetTarget(UpdateTarget(chip_.Config().updateVendorId));
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
  OneButtonUpdate update(*commands_, image_, flash_, ispView, status);
  const bool verdict = update.Run();
  attempts_ = update.AttemptsRun();
  reason_ = update.FailureReason();
  return verdict;
}

bool SimulatedUpdate::FlashHoldsImage() {
  const auto &contents = chip_.Flash().Contents();
  for (size_t a = 0; a < contents.size(); ++a) {
    const uint8_t expected = a < image_.ImageLength ? image_.ImageBuffer[a] : 0xFF;
    if (contents[a] != expected)
      return false;
  }
  return true;
}

} // namespace orvane::sim
