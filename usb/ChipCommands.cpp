#include "usb/ChipCommands.h"

#include "usb/DeviceSession.h"

#include <algorithm>
#include <vector>

namespace orvane {

namespace {
constexpr int kReadPolls = 100;
constexpr int kIdPolls = 100;
constexpr int kStatusPolls = 10;
constexpr int kMailboxPolls = 20;
constexpr uint32_t kMailboxPollMs = 10;
constexpr uint16_t kPageBytes = 256;

std::array<uint8_t, 4> AddressedInstruction(uint8_t opcode, uint32_t address) {
  return {opcode, static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
          static_cast<uint8_t>(address)};
}
} // namespace

bool ChipCommands::Out(uint8_t request, uint16_t value, uint16_t index, const uint8_t *data, uint32_t length) {
  // The driver takes the bytes to send from the caller's buffer, which it
  // may treat as writable; hand it a copy.
  std::vector<uint8_t> copy(data, data + length);
  return NoteAnswer(usb_.ControlTransfer(vendor::kRequestTypeOut, request, value, index, copy.data(), length));
}

bool ChipCommands::In(uint8_t request, uint16_t value, uint16_t index, uint8_t *data, uint32_t length) {
  return NoteAnswer(usb_.ControlTransfer(vendor::kRequestTypeIn, request, value, index, data, length));
}

bool ChipCommands::NoteAnswer(bool transferred) {
  if (usb_.LastTransferAnswered())
    unansweredSinceUs_.reset();
  else if (!unansweredSinceUs_)
    unansweredSinceUs_ = clock_.NowUs();
  return transferred;
}

bool ChipCommands::ReadRegister(uint8_t address, uint8_t &value) {
  return In(vendor::kRegisterRead, 0, address, &value, 1);
}

bool ChipCommands::WriteRegister(uint8_t address, unsigned value) {
  const uint8_t byte = static_cast<uint8_t>(value);
  return Out(vendor::kRegisterWrite, 0, address, &byte, 1);
}

bool ChipCommands::SelectBank(uint8_t bank) {
  return WriteRegister(chipreg::kBankSelect, bank);
}

bool ChipCommands::SetIspMode(bool enter) {
  const bool switched =
      enter ? Out(vendor::kIspEnter, 0x3C41, 0x71C5, nullptr, 0) : Out(vendor::kIspLeave, 0x6B1E, 0x4A97, nullptr, 0);
  // Entering, the ISP bank set up after the switch is part of the mode: a
  // write that did not go through leaves the chip half switched. Leaving,
  // the chip may restart at once: the writes after the switch are sent,
  // but whether it left is the switch's answer alone.
  bool configured = SelectBank(chipreg::kBankIsp);
  configured = WriteRegister(0x07, enter ? 0x10 : 0x00) && configured;
  if (!enter)
    return switched;
  configured = WriteRegister(0x01, 0x03) && configured;
  return switched && configured;
}

bool ChipCommands::FlashReady() {
  uint8_t ready = 0;
  return In(vendor::kFlashReady, 0, 0, &ready, 1) && ready != 0;
}

bool ChipCommands::FlashCommand(uint8_t opcode, uint8_t count, const uint8_t *bytes) {
  if (count > 3)
    return false;
  uint8_t instruction[4] = {opcode};
  std::copy_n(bytes, count, instruction + 1);
  return Out(vendor::kFlashWrite, 0, 1, instruction, count + 1u);
}

bool ChipCommands::FlashQuery(uint8_t opcode, uint16_t replyLength) {
  return Out(vendor::kFlashQuery, replyLength, 1, &opcode, 1);
}

bool ChipCommands::FlashFetch(uint8_t count, uint8_t *out) {
  return In(vendor::kFlashFetch, 0, 0, out, count);
}

bool ChipCommands::FlashRead(uint32_t address, uint16_t length, uint8_t *out) {
  // The fetch carries an 8-bit count: a longer read would come back short.
  if (length == 0 || length > 255)
    return false;
  const auto instruction = AddressedInstruction(flashop::kRead, address);
  if (!Out(vendor::kFlashQuery, length, 1, instruction.data(), instruction.size()))
    return false;
  int polls = 0;
  while (!FlashReady()) {
    if (usb_.Loss() != DeviceLoss::None)
      return false;
    clock_.SleepMs(1);
    if (++polls == kReadPolls)
      return false;
  }
  return FlashFetch(static_cast<uint8_t>(length), out);
}

bool ChipCommands::FlashPageProgram(uint32_t address, uint16_t length, const uint8_t *data) {
  if (length == 0 || length > kPageBytes)
    return false;
  const auto instruction = AddressedInstruction(flashop::kPageProgram, address);
  // Without its instruction the page data programs nothing.
  const bool addressed = Out(vendor::kFlashWrite, 0, 0, instruction.data(), instruction.size());
  std::array<uint8_t, kPageBytes> page{};
  std::copy_n(data, length, page.begin());
  return Out(vendor::kFlashWrite, 0, 1, page.data(), length) && addressed;
}

bool ChipCommands::FlashWordProgram(uint32_t address, uint16_t length, const uint8_t *data) {
  if (length < 2 || length % 2 != 0)
    return false;
  const auto head = AddressedInstruction(flashop::kWordProgram, address);
  const uint8_t first[6] = {head[0], head[1], head[2], head[3], data[0], data[1]};
  // A word lost in the middle shifts every word after it: the chip erred
  // if any write did not go through, not only the last.
  bool sent = Out(vendor::kFlashWrite, 0, 1, first, sizeof first);
  for (uint16_t i = 2; i + 1 < length; i += 2) {
    const uint8_t pair[3] = {flashop::kWordProgram, data[i], data[i + 1]};
    sent = Out(vendor::kFlashWrite, 0, 1, pair, sizeof pair) && sent;
  }
  return sent;
}

bool ChipCommands::FlashReadId() {
  // Without the query the ready flag and the answer are the last query's.
  if (!FlashQuery(flashop::kReadId, 3))
    return false;
  for (int poll = 0; poll < kIdPolls && usb_.Loss() == DeviceLoss::None; ++poll) {
    if (FlashReady()) {
      std::array<uint8_t, 3> id{};
      if (!FlashFetch(3, id.data()))
        return false;
      flashId_ = id;
      return true;
    }
  }
  return false;
}

std::optional<uint8_t> ChipCommands::ReadStatus() {
  if (!FlashQuery(flashop::kReadStatus, 1))
    return std::nullopt;
  for (int poll = 0; poll < kStatusPolls && usb_.Loss() == DeviceLoss::None; ++poll) {
    if (FlashReady()) {
      uint8_t status = 0xFF;
      if (!FlashFetch(1, &status))
        return std::nullopt;
      return status;
    }
  }
  return std::nullopt;
}

bool ChipCommands::FlashWriteStatus(uint8_t status) {
  return FlashCommand(flashop::kWriteStatus, 1, &status);
}
bool ChipCommands::FlashWriteEnable() {
  return FlashCommand(flashop::kWriteEnable, 0, nullptr);
}
bool ChipCommands::FlashWriteDisable() {
  return FlashCommand(flashop::kWriteDisable, 0, nullptr);
}
bool ChipCommands::FlashChipErase() {
  return FlashCommand(flashop::kChipErase, 0, nullptr);
}

bool ChipCommands::FlashSectorErase(uint32_t address) {
  const auto instruction = AddressedInstruction(flashop::kSectorErase, address);
  return FlashCommand(instruction[0], 3, instruction.data() + 1);
}

bool ChipCommands::ParameterTransfer(uint8_t command, uint8_t subCommand, uint8_t argument, uint8_t count,
                                     uint8_t *data) {
  count = std::min(count, chipreg::kMailboxDataCount);
  const bool read = (subCommand & 1) != 0;
  // Every step runs whatever went before, as the firmware expects the whole
  // exchange; the result says whether all of its transfers went through. A
  // firmware that never signals completion is not a failed transfer: the
  // page reads back what it holds.
  DeviceSession session(*this);
  bool ok = static_cast<bool>(session.Begin());
  ok = SelectBank(chipreg::kBankMailbox) && ok;
  if (!read)
    for (uint8_t i = 0; i < count; ++i)
      ok = WriteRegister(chipreg::kMailboxData + i, data[i]) && ok;
  ok = WriteRegister(chipreg::kMailboxSubCommand, subCommand) && ok;
  ok = WriteRegister(chipreg::kMailboxArgument, argument) && ok;
  ok = WriteRegister(chipreg::kMailboxCommand, command) && ok;
  for (int poll = 0; poll < kMailboxPolls; ++poll) {
    clock_.SleepMs(kMailboxPollMs);
    // A failed read must not pass for the completion code.
    uint8_t state = 0;
    if (ReadRegister(chipreg::kMailboxCommand, state) && state == chipreg::kMailboxDone)
      break;
  }
  if (read) {
    for (uint8_t i = 0; i < count; ++i) {
      // Keep the caller's byte when the register could not be read.
      uint8_t value = data[i];
      if (ReadRegister(chipreg::kMailboxData + i, value))
        data[i] = value;
      else
        ok = false;
    }
  } else {
    ok = WriteRegister(chipreg::kMailboxCommand, 0x00) && ok;
  }
  return ok;
}

} // namespace orvane
