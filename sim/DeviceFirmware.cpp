#include "sim/DeviceFirmware.h"

namespace orvane::sim {

namespace {

constexpr uint8_t kBank = 0;
constexpr size_t kLogLimit = 1000;

enum SubCommand : uint8_t {
  kVendorId = 0x08,
  kProductId = 0x0A,
  kManufacturer = 0x10,
  kModelName = 0x14,
  kSerialNumber = 0x18,
  kOptions = 0x20,
};

template <typename T> void Log(std::vector<T> &log, const T &entry) {
  if (log.size() >= kLogLimit)
    log.erase(log.begin());
  log.push_back(entry);
}

} // namespace

bool DeviceFirmware::Handles(uint8_t reg) const {
  return running_ && (reg == kCommand || (reg >= kStreamStatusFirst && reg <= kStreamStatusLast));
}

uint8_t DeviceFirmware::Read(uint8_t reg) {
  if (reg == kCommand) {
    Advance();
    return registers_.Peek(kBank, kCommand);
  }
  return streamStatus_[reg - kStreamStatusFirst];
}

void DeviceFirmware::Write(uint8_t reg, uint8_t value) {
  // The stream status belongs to the firmware; the host only reads it.
  if (reg != kCommand)
    return;
  registers_.Poke(kBank, kCommand, value);
  pending_.reset();
  if (value == kParameterCommand || value == kMediaKeyCommand)
    Take(value);
}

void DeviceFirmware::Take(uint8_t command) {
  // The firmware picks the command up at once: whatever the other mailbox
  // registers hold now is what it works with.
  MailboxCommand taken;
  taken.command = command;
  taken.subCommand = registers_.Peek(kBank, kSubCommand);
  taken.argument = registers_.Peek(kBank, kArgument);
  for (size_t i = 0; i < taken.data.size(); ++i)
    taken.data[i] = registers_.Peek(kBank, static_cast<uint8_t>(kData + i));
  uint32_t typicalUs = kMediaKeyUs;
  if (command == kParameterCommand)
    typicalUs = (taken.subCommand & 0x01) ? kParameterReadUs : kParameterWriteUs;
  pending_ = Pending{taken, time_.NowUs() + time_.Scaled(typicalUs)};
}

void DeviceFirmware::Advance() {
  if (!running_ || !pending_ || time_.NowUs() < pending_->doneAtUs)
    return;
  const MailboxCommand taken = pending_->taken;
  pending_.reset();
  Complete(taken);
}

void DeviceFirmware::Complete(const MailboxCommand &taken) {
  if (taken.command == kMediaKeyCommand) {
    Log(mediaKeys_, taken.subCommand);
    registers_.Poke(kBank, kCommand, kMediaKeyDone);
  } else {
    CompleteParameter(taken);
    registers_.Poke(kBank, kCommand, kParameterDone);
  }
  Log(completed_, taken);
}

void DeviceFirmware::CompleteParameter(const MailboxCommand &taken) {
  const bool read = (taken.subCommand & 0x01) != 0;
  const uint8_t kind = taken.subCommand & 0xFE;
  std::array<uint8_t, 13> reply = taken.data;
  switch (kind) {
  case kVendorId:
  case kProductId: {
    auto &text = kind == kVendorId ? store_.VendorIdText() : store_.ProductIdText();
    if (!read)
      kind == kVendorId ? store_.SetVendorIdText(taken.data.data()) : store_.SetProductIdText(taken.data.data());
    else
      std::copy(text.begin(), text.end(), reply.begin());
    break;
  }
  case kManufacturer:
  case kModelName:
  case kSerialNumber: {
    const size_t which = (kind - kManufacturer) / 4;
    if (!read)
      store_.WriteStringChunk(which, taken.argument, taken.data.data());
    else
      store_.ReadStringChunk(which, taken.argument, reply.data());
    break;
  }
  case kOptions:
    if (!read)
      store_.SetOptions(taken.data.data());
    else {
      const auto record = store_.OptionRecord(eepromPresent_);
      std::copy(record.begin(), record.end(), reply.begin());
    }
    break;
  default:
    break;
  }
  if (read)
    for (size_t i = 0; i < reply.size(); ++i)
      registers_.Poke(kBank, static_cast<uint8_t>(kData + i), reply[i]);
}

} // namespace orvane::sim
