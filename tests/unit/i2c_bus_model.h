#pragma once

#include "chip_test_rig.h"
#include "isp/HexText.h"
#include "usb/I2cMaster.h"
#include "usb_test_support.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace orvane::test {

// The chip's I2C master registers of bank 0x0E in front of a bus with
// memory-like slaves: the first byte written after the address sets the
// slave's pointer, further bytes are stored there, reads come from there.
// Keeps a log of what happened on the bus.
class I2cBusModel {
public:
  static std::array<uint8_t, 256> Filled(uint8_t value) {
    std::array<uint8_t, 256> bytes;
    bytes.fill(value);
    return bytes;
  }

  struct Slave {
    std::array<uint8_t, 256> memory{};
    std::array<uint8_t, 256> writable = Filled(0xFF); // bits a write can change
    uint8_t pointer = 0;
    bool acksRead = true;
  };

  // Status reads that still show a byte transfer as running; -1: forever.
  int busyPolls = 1;
  std::map<uint8_t, Slave> slaves; // by write address
  std::vector<std::string> bus;    // "S", "P", "A0+" (sent, acknowledged), "A0-", "<5A" (received)

  TransferResult Handle(const SetupPacket &setup, uint8_t *data) {
    const uint8_t reg = static_cast<uint8_t>(setup.index);
    if (setup.request == vendor::kRegisterWrite && setup.length == 1) {
      WriteRegister(reg, data[0]);
      return {TransferStatus::Completed, 1};
    }
    if (setup.request == vendor::kRegisterRead && setup.length == 1) {
      data[0] = ReadRegister(reg);
      return {TransferStatus::Completed, 1};
    }
    return {TransferStatus::Stalled, 0};
  }

private:
  enum class Phase { Idle, Address, Write, Read, Ignored };

  void WriteRegister(uint8_t reg, uint8_t value) {
    if (reg == chipreg::kBankSelect) {
      bank_ = value;
      return;
    }
    if (bank_ != chipreg::kBankI2c)
      return;
    switch (reg) {
    case i2creg::kControl:
      if (value == i2creg::kStart) {
        bus.push_back("S");
        phase_ = Phase::Address;
      } else if (value == i2creg::kStop) {
        bus.push_back("P");
        phase_ = Phase::Idle;
      }
      break;
    case i2creg::kTransmit:
      // The byte goes out when it is written after the send command.
      if (sendArmed_) {
        Send(value);
        sendArmed_ = false;
        pollsLeft_ = busyPolls;
      }
      break;
    case i2creg::kCommand:
      sendArmed_ = value == i2creg::kCommandSend;
      if (value == i2creg::kCommandReceive) {
        Receive();
        pollsLeft_ = busyPolls;
      }
      break;
    default:
      break;
    }
  }

  uint8_t ReadRegister(uint8_t reg) {
    if (bank_ != chipreg::kBankI2c)
      return 0xEE;
    if (reg == i2creg::kReceive)
      return received_;
    if (reg != i2creg::kControl)
      return 0;
    bool done = pollsLeft_ == 0;
    if (pollsLeft_ > 0)
      --pollsLeft_;
    return static_cast<uint8_t>((done ? i2creg::kStatusDone : 0) | (acked_ ? 0 : i2creg::kStatusNoAck));
  }

  void Send(uint8_t byte) {
    if (phase_ == Phase::Address) {
      const auto it = slaves.find(static_cast<uint8_t>(byte & 0xFE));
      const bool reading = (byte & 1) != 0;
      acked_ = it != slaves.end() && (!reading || it->second.acksRead);
      current_ = acked_ ? &it->second : nullptr;
      phase_ = !acked_ ? Phase::Ignored : reading ? Phase::Read : Phase::Write;
      firstData_ = true;
    } else if (phase_ == Phase::Write) {
      acked_ = true;
      if (firstData_)
        current_->pointer = byte;
      else {
        const uint8_t at = current_->pointer++;
        const uint8_t mask = current_->writable[at];
        current_->memory[at] = static_cast<uint8_t>((current_->memory[at] & ~mask) | (byte & mask));
      }
      firstData_ = false;
    } else {
      acked_ = false;
    }
    bus.push_back(Hex2(byte) + (acked_ ? "+" : "-"));
  }

  void Receive() {
    received_ = phase_ == Phase::Read ? current_->memory[current_->pointer++] : 0xFF;
    bus.push_back("<" + Hex2(received_));
  }

  uint8_t bank_ = 0;
  Phase phase_ = Phase::Idle;
  Slave *current_ = nullptr;
  bool firstData_ = false;
  bool acked_ = false;
  bool sendArmed_ = false;
  uint8_t received_ = 0;
  int pollsLeft_ = 0;
};

// Register accesses on the wire: "W10:C0" for a write, "R10" for a read.
inline std::vector<std::string> RegisterSteps(const InProcessTransport &transport) {
  std::vector<std::string> steps;
  for (const auto &t : transport.Transfers()) {
    if (t.setup.request == vendor::kRegisterWrite && t.out.size() == 1)
      steps.push_back("W" + Hex2(t.setup.index) + ":" + Hex2(t.out[0]));
    else if (t.setup.request == vendor::kRegisterRead)
      steps.push_back("R" + Hex2(t.setup.index));
    else
      steps.push_back("?" + Hex2(t.setup.request));
  }
  return steps;
}

// A bridge chip with the bus model in update mode.
struct I2cChip {
  I2cBusModel model;
  ScriptedDevice device{Identity(0x3B5D, 0x6000),
                        [this](const SetupPacket &setup, uint8_t *data) { return model.Handle(setup, data); }};
};

// The chip found and opened on a recording transport, bank 0x0E selected.
struct I2cTestRig : I2cChip {
  I2cTestRig() {
    static_cast<void>(rig.chip.SelectBank(chipreg::kBankI2c)); // each test checks the outcome it relies on
    rig.transport.ClearTransfers();
  }
  std::vector<std::string> RegisterSteps() const { return test::RegisterSteps(rig.transport); }

  ChipRig rig{device};
  I2cMaster master{rig.chip};
};

} // namespace orvane::test
