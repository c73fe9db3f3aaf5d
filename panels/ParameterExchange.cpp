#include "panels/ParameterExchange.h"

#include "panels/SingleByteText.h"

#include <algorithm>
#include <array>

namespace orvane {
namespace {

uint8_t IdentifierSubCommand(DeviceIdentifier which) {
  return which == DeviceIdentifier::Vendor ? parameter::kVendorId : parameter::kProductId;
}

uint8_t StringSubCommand(DescriptorString which) {
  switch (which) {
  case DescriptorString::Manufacturer:
    return parameter::kManufacturer;
  case DescriptorString::ModelName:
    return parameter::kModelName;
  case DescriptorString::SerialNumber:
    break;
  }
  return parameter::kSerialNumber;
}

ParameterSend Refused(std::string why) {
  return ParameterSend{false, false, std::move(why)};
}

} // namespace

void ReadBackParameterRecord(ParameterMailbox &mailbox, ParameterRecord &record) {
  mailbox.ParameterTransfer(parameter::kCommand, parameter::kReadOptions, 0, record.size(), record.data());
}

void SetParameterRecord(ParameterMailbox &mailbox, const ParameterRecord &record) {
  ParameterRecord outgoing = record;
  mailbox.ParameterTransfer(parameter::kCommand, parameter::kSetOptions, 0, outgoing.size(), outgoing.data());
}

ParameterSend SendDeviceIdentifier(ParameterMailbox &mailbox, DeviceIdentifier which, const std::string &text) {
  const SingleByteText converted = ToSingleByteText(text);
  if (!converted.ok)
    return Refused(converted.refusal);
  if (converted.bytes.size() != kIdentifierCharacters)
    return Refused("The identifier must be exactly 4 characters, for example 3b5d; \"" + text + "\" has " +
                   std::to_string(converted.bytes.size()) + ".");
  std::array<uint8_t, kIdentifierCharacters> message{};
  std::copy(converted.bytes.begin(), converted.bytes.end(), message.begin());
  mailbox.ParameterTransfer(parameter::kCommand, IdentifierSubCommand(which), 0, message.size(), message.data());
  return ParameterSend{true, false, {}};
}

std::vector<uint8_t> DescriptorStringMessage(const std::string &singleByteText) {
  const size_t characters = std::min(singleByteText.size(), kMaxDescriptorCharacters);
  std::vector<uint8_t> message;
  message.reserve(characters + 1);
  message.push_back(static_cast<uint8_t>(characters));
  message.insert(message.end(), singleByteText.begin(), singleByteText.begin() + characters);
  return message;
}

ParameterSend SendDescriptorString(ParameterMailbox &mailbox, Clock &clock, DescriptorString which,
                                   const std::string &text) {
  const SingleByteText converted = ToSingleByteText(text);
  if (!converted.ok)
    return Refused(converted.refusal);
  std::vector<uint8_t> message = DescriptorStringMessage(converted.bytes);
  const uint8_t subCommand = StringSubCommand(which);
  for (size_t offset = 0, chunk = 0; offset < message.size(); offset += kDescriptorChunkBytes, ++chunk) {
    const size_t count = std::min(kDescriptorChunkBytes, message.size() - offset);
    mailbox.ParameterTransfer(parameter::kCommand, subCommand, static_cast<uint8_t>(chunk), static_cast<uint8_t>(count),
                              message.data() + offset);
    clock.SleepMs(kDescriptorChunkPauseMs);
  }
  return ParameterSend{true, converted.bytes.size() > kMaxDescriptorCharacters, {}};
}

} // namespace orvane
