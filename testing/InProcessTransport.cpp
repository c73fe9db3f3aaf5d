#include "testing/InProcessTransport.h"

#include "usb/DeviceDescriptor.h"

#include <algorithm>

namespace orvane {

struct InProcessTransport::State {
  struct Attached {
    std::string location;
    VirtualDevice *device;
    uint64_t attachment; // tells a re-attached device from the old one
  };

  Attached *Find(const std::string &location) {
    const auto it =
        std::find_if(devices.begin(), devices.end(), [&](const Attached &a) { return a.location == location; });
    return it == devices.end() ? nullptr : &*it;
  }

  std::vector<Attached> devices;
  std::vector<RecordedTransfer> transfers;
  ScriptHook scriptHook;
  LatencyHook latencyHook;
  uint64_t nextAttachment = 1;
  int openConnections = 0;
};

namespace {

class InProcessConnection final : public UsbConnection {
public:
  InProcessConnection(std::shared_ptr<InProcessTransport::State> state, std::string location, uint64_t attachment,
                      uint64_t generation)
      : state_(std::move(state)), location_(std::move(location)), attachment_(attachment), generation_(generation) {
    ++state_->openConnections;
  }

  ~InProcessConnection() override {
    --state_->openConnections;
    if (VirtualDevice *device = StillOurs())
      device->ConnectionClosed();
  }

  TransferResult Control(const SetupPacket &setup, uint8_t *data) override {
    if (setup.length && !data)
      return {TransferStatus::Failed, 0};
    RecordedTransfer record{location_, setup, {}, {}, TransferStatus::Failed};
    if (!setup.isIn() && setup.length)
      record.out.assign(data, data + setup.length);
    // The device works on a copy: whatever it does, it cannot write past
    // the transfer's length into the caller's memory.
    std::vector<uint8_t> buffer(std::max<size_t>(setup.length, 1));
    std::copy(record.out.begin(), record.out.end(), buffer.begin());
    const TransferResult result = Serve(setup, buffer.data());
    if (result.ok() && setup.isIn()) {
      const auto answered = buffer.begin() + static_cast<ptrdiff_t>(std::min<size_t>(result.actual, setup.length));
      std::copy(buffer.begin(), answered, data);
      record.in.assign(buffer.begin(), answered);
    }
    record.status = result.status;
    state_->transfers.push_back(std::move(record));
    if (state_->latencyHook)
      state_->latencyHook(setup, result);
    return result;
  }

private:
  VirtualDevice *StillOurs() const {
    const auto *attached = state_->Find(location_);
    return attached && attached->attachment == attachment_ ? attached->device : nullptr;
  }

  TransferResult Serve(const SetupPacket &setup, uint8_t *data) {
    VirtualDevice *device = StillOurs();
    if (!device || !device->Present() || device->Generation() != generation_)
      return {TransferStatus::Gone, 0};
    if (state_->scriptHook) {
      if (const auto scripted = state_->scriptHook(location_, setup, data)) {
        if (scripted->ok() && scripted->actual > setup.length)
          return {TransferStatus::Failed, 0};
        return *scripted;
      }
    }
    return ServeControl(*device, setup, data);
  }

  std::shared_ptr<InProcessTransport::State> state_;
  std::string location_;
  uint64_t attachment_;
  uint64_t generation_;
};

} // namespace

InProcessTransport::InProcessTransport(std::string name) : name_(std::move(name)), state_(std::make_shared<State>()) {}

InProcessTransport::~InProcessTransport() = default;

void InProcessTransport::Attach(const std::string &location, VirtualDevice &device) {
  if (State::Attached *existing = state_->Find(location)) {
    existing->device = &device;
    existing->attachment = state_->nextAttachment++;
    return;
  }
  state_->devices.push_back({location, &device, state_->nextAttachment++});
}

void InProcessTransport::Detach(const std::string &location) {
  std::erase_if(state_->devices, [&](const State::Attached &a) { return a.location == location; });
}

const std::vector<RecordedTransfer> &InProcessTransport::Transfers() const {
  return state_->transfers;
}

void InProcessTransport::ClearTransfers() {
  state_->transfers.clear();
}

void InProcessTransport::SetScriptHook(ScriptHook hook) {
  state_->scriptHook = std::move(hook);
}

void InProcessTransport::SetLatencyHook(LatencyHook hook) {
  state_->latencyHook = std::move(hook);
}

int InProcessTransport::OpenConnections() const {
  return state_->openConnections;
}

std::vector<UsbDeviceInfo> InProcessTransport::Enumerate() {
  std::vector<UsbDeviceInfo> listed;
  for (const auto &attached : state_->devices) {
    if (!attached.device->Present())
      continue;
    UsbDeviceInfo info = attached.device->Describe();
    info.location = attached.location;
    listed.push_back(std::move(info));
  }
  return listed;
}

std::unique_ptr<UsbConnection> InProcessTransport::Connect(const std::string &location, DeviceError *error) {
  const State::Attached *attached = state_->Find(location);
  if (!attached || !attached->device->Present()) {
    if (error)
      *error = {attached ? DeviceErrorKind::Gone : DeviceErrorKind::NoDevice, "no device at " + location};
    return nullptr;
  }
  attached->device->ConnectionOpened();
  return std::make_unique<InProcessConnection>(state_, location, attached->attachment, attached->device->Generation());
}

} // namespace orvane
