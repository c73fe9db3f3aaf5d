#pragma once

#include "sim/DeviceTime.h"
#include "sim/ParameterStore.h"
#include "sim/RegisterWindow.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvane::sim {

// One mailbox command as the firmware took it.
struct MailboxCommand {
  uint8_t command = 0;
  uint8_t subCommand = 0;
  uint8_t argument = 0;
  std::array<uint8_t, 13> data{};
};

// The firmware the chip runs in normal mode, as far as the host sees it
// through bank 0: the parameter mailbox (0x90 command, 0x91 sub-command,
// 0x92 argument, 0x93-0x9F data), completion codes written into 0x90 a
// while after the command, the media-key command, and the stream status
// registers 0xA4-0xA6. While it does not run (update mode, ISP mode) the
// registers are plain storage and nothing completes.
class DeviceFirmware final : public RegisterHandler {
public:
  static constexpr uint8_t kCommand = 0x90;
  static constexpr uint8_t kSubCommand = 0x91;
  static constexpr uint8_t kArgument = 0x92;
  static constexpr uint8_t kData = 0x93;
  static constexpr uint8_t kParameterCommand = 0x10;
  static constexpr uint8_t kParameterDone = 0xEE;
  static constexpr uint8_t kMediaKeyCommand = 0x30;
  static constexpr uint8_t kMediaKeyDone = 0x31;
  static constexpr uint8_t kStreamStatusFirst = 0xA4;
  static constexpr uint8_t kStreamStatusLast = 0xA6;
  // Datasheet-style typical handling times.
  static constexpr uint32_t kParameterReadUs = 3'000;
  static constexpr uint32_t kParameterWriteUs = 25'000; // kept in non-volatile memory
  static constexpr uint32_t kMediaKeyUs = 8'000;        // one HID report interval

  DeviceFirmware(RegisterWindow &registers, DeviceTime &time, ParameterStore &store, bool eepromPresent)
      : registers_(registers), time_(time), store_(store), eepromPresent_(eepromPresent) {}

  bool Handles(uint8_t reg) const override;
  uint8_t Read(uint8_t reg) override;
  void Write(uint8_t reg, uint8_t value) override;

  void SetRunning(bool running) { running_ = running; }
  bool Running() const { return running_; }
  // Finishes a command whose time has come; runs before every register access.
  void Advance();
  void Reset() { pending_.reset(); }

  void SetStreamStatus(uint8_t rate, uint8_t extra, uint8_t flags) { streamStatus_ = {rate, extra, flags}; }
  const std::array<uint8_t, 3> &StreamStatus() const { return streamStatus_; }
  const std::vector<uint8_t> &MediaKeys() const { return mediaKeys_; }
  // The commands the firmware carried out, oldest first (the latest thousand).
  const std::vector<MailboxCommand> &Completed() const { return completed_; }

private:
  struct Pending {
    MailboxCommand taken;
    uint64_t doneAtUs;
  };

  void Take(uint8_t command);
  void Complete(const MailboxCommand &taken);
  void CompleteParameter(const MailboxCommand &taken);

  RegisterWindow &registers_;
  DeviceTime &time_;
  ParameterStore &store_;
  bool eepromPresent_;
  bool running_ = false;
  std::optional<Pending> pending_;
  std::array<uint8_t, 3> streamStatus_{};
  std::vector<uint8_t> mediaKeys_;
  std::vector<MailboxCommand> completed_;
};

} // namespace orvane::sim
