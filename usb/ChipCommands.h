#pragma once

#include "usb/Clock.h"
#include "usb/VantrelUsb.h"

#include <array>
#include <cstdint>
#include <optional>

namespace orvane {

// Vendor requests of the bridge chip.
namespace vendor {
inline constexpr uint8_t kRequestTypeOut = 0x43;
inline constexpr uint8_t kRequestTypeIn = 0xC3;
inline constexpr uint8_t kFlashWrite = 0x80;
inline constexpr uint8_t kFlashQuery = 0x81;
inline constexpr uint8_t kFlashFetch = 0x82;
inline constexpr uint8_t kFlashReady = 0x83;
inline constexpr uint8_t kIspEnter = 0x84;
inline constexpr uint8_t kIspLeave = 0x85;
inline constexpr uint8_t kRegisterWrite = 0x90;
inline constexpr uint8_t kRegisterRead = 0x91;
} // namespace vendor

// Serial-flash instruction opcodes.
namespace flashop {
inline constexpr uint8_t kWriteStatus = 0x01;
inline constexpr uint8_t kPageProgram = 0x02;
inline constexpr uint8_t kRead = 0x03;
inline constexpr uint8_t kWriteDisable = 0x04;
inline constexpr uint8_t kReadStatus = 0x05;
inline constexpr uint8_t kWriteEnable = 0x06;
inline constexpr uint8_t kSectorErase = 0x20;
inline constexpr uint8_t kReadId = 0x9F;
inline constexpr uint8_t kWordProgram = 0xAD;
inline constexpr uint8_t kChipErase = 0xC7;
} // namespace flashop

// Register banks and the parameter mailbox of bank 0.
namespace chipreg {
inline constexpr uint8_t kBankSelect = 0x00;
inline constexpr uint8_t kBankMailbox = 0x00;
inline constexpr uint8_t kBankIsp = 0x0D;
inline constexpr uint8_t kBankI2c = 0x0E;
inline constexpr uint8_t kMailboxCommand = 0x90;
inline constexpr uint8_t kMailboxSubCommand = 0x91;
inline constexpr uint8_t kMailboxArgument = 0x92;
inline constexpr uint8_t kMailboxData = 0x93;
inline constexpr uint8_t kMailboxDataCount = 13; // 0x93 to 0x9F
inline constexpr uint8_t kMailboxDone = 0xEE;
} // namespace chipreg

// The chip operations the rest of the program calls: each a short fixed
// sequence of vendor control transfers on the one device object. All but
// ParameterTransfer expect the caller to have opened the device.
class ChipCommands {
public:
  ChipCommands(VantrelUsb &usb, Clock &clock, std::array<uint8_t, 3> &flashId)
      : usb_(usb), clock_(clock), flashId_(flashId) {}

  [[nodiscard]] bool ReadRegister(uint8_t address, uint8_t &value);
  [[nodiscard]] bool WriteRegister(uint8_t address, unsigned value);
  [[nodiscard]] bool SelectBank(uint8_t bank);
  [[nodiscard]] bool SetIspMode(bool enter);

  [[nodiscard]] bool FlashReady();
  [[nodiscard]] bool FlashCommand(uint8_t opcode, uint8_t count, const uint8_t *bytes);
  [[nodiscard]] bool FlashQuery(uint8_t opcode, uint16_t replyLength);
  [[nodiscard]] bool FlashFetch(uint8_t count, uint8_t *out);

  // length 1 to 255; anything else is refused without a transfer.
  [[nodiscard]] bool FlashRead(uint32_t address, uint16_t length, uint8_t *out);
  // length 1 to 256; anything else is refused without a transfer.
  [[nodiscard]] bool FlashPageProgram(uint32_t address, uint16_t length, const uint8_t *data);
  // length even and at least 2; anything else is refused without a transfer.
  [[nodiscard]] bool FlashWordProgram(uint32_t address, uint16_t length, const uint8_t *data);
  [[nodiscard]] bool FlashReadId();
  // The status register as the flash answered it; nullopt when the read
  // did not go through.
  [[nodiscard]] std::optional<uint8_t> ReadStatus();
  [[nodiscard]] bool FlashWriteStatus(uint8_t status);
  [[nodiscard]] bool FlashWriteEnable();
  [[nodiscard]] bool FlashWriteDisable();
  [[nodiscard]] bool FlashChipErase();
  [[nodiscard]] bool FlashSectorErase(uint32_t address);

  // Opens and closes the device by itself. count is capped at the 13
  // mailbox data registers.
  [[nodiscard]] bool ParameterTransfer(uint8_t command, uint8_t subCommand, uint8_t argument, uint8_t count,
                                       uint8_t *data);

  const std::array<uint8_t, 3> &FlashId() const { return flashId_; }
  // When the device left the first of the transfers it has not answered
  // since its last answer; nullopt while it answers.
  std::optional<uint64_t> UnansweredSinceUs() const { return unansweredSinceUs_; }
  VantrelUsb &Usb() { return usb_; }
  Clock &Time() { return clock_; }

private:
  [[nodiscard]] bool Out(uint8_t request, uint16_t value, uint16_t index, const uint8_t *data, uint32_t length);
  [[nodiscard]] bool In(uint8_t request, uint16_t value, uint16_t index, uint8_t *data, uint32_t length);
  // Notes whether the device answered the transfer just made.
  bool NoteAnswer(bool transferred);

  VantrelUsb &usb_;
  Clock &clock_;
  std::array<uint8_t, 3> &flashId_;
  std::optional<uint64_t> unansweredSinceUs_;
};

} // namespace orvane
