#pragma once

// Drives a simulated chip with raw vendor control transfers, the way a host
// puts them on the wire, so the tests see exactly what the device answers.

#include "sim/ChipSimulator.h"
#include "usb/Clock.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace orvane::sim::wire {

inline constexpr uint8_t kOut = 0x43;
inline constexpr uint8_t kIn = 0xC3;

inline TransferResult Out(ChipSimulator &chip, uint8_t request, uint16_t value, uint16_t index,
                          std::vector<uint8_t> data = {}) {
  SetupPacket setup{kOut, request, value, index, static_cast<uint16_t>(data.size())};
  return chip.Control(setup, data.data());
}

inline TransferResult In(ChipSimulator &chip, uint8_t request, uint16_t value, uint16_t index,
                         std::vector<uint8_t> &data) {
  SetupPacket setup{kIn, request, value, index, static_cast<uint16_t>(data.size())};
  return chip.Control(setup, data.data());
}

inline bool EnterIsp(ChipSimulator &chip) {
  return Out(chip, 0x84, 0x3C41, 0x71C5).ok();
}
inline bool LeaveIsp(ChipSimulator &chip) {
  return Out(chip, 0x85, 0x6B1E, 0x4A97).ok();
}

inline bool WriteRegister(ChipSimulator &chip, uint8_t reg, uint8_t value) {
  return Out(chip, 0x90, 0, reg, {value}).ok();
}

inline uint8_t ReadRegister(ChipSimulator &chip, uint8_t reg) {
  std::vector<uint8_t> byte{0};
  In(chip, 0x91, 0, reg, byte);
  return byte[0];
}

// One complete instruction (chip select released at the end).
inline bool Command(ChipSimulator &chip, std::vector<uint8_t> bytes) {
  return Out(chip, 0x80, 0, 1, bytes).ok();
}

inline bool Ready(ChipSimulator &chip) {
  std::vector<uint8_t> byte{0};
  return In(chip, 0x83, 0, 0, byte).ok() && byte[0] != 0;
}

// Instruction with a reply: query, wait until the channel is through, fetch.
inline std::vector<uint8_t> Query(ChipSimulator &chip, std::vector<uint8_t> instruction, uint16_t replyLength) {
  Out(chip, 0x81, replyLength, 1, instruction);
  for (int i = 0; i < 100 && !Ready(chip); ++i)
    chip.Time().Source().SleepMs(1);
  std::vector<uint8_t> reply(replyLength);
  In(chip, 0x82, 0, 0, reply);
  return reply;
}

inline uint8_t Status(ChipSimulator &chip) {
  return Query(chip, {0x05}, 1)[0];
}
inline bool WriteEnable(ChipSimulator &chip) {
  return Command(chip, {0x06});
}
inline bool WriteDisable(ChipSimulator &chip) {
  return Command(chip, {0x04});
}

inline std::vector<uint8_t> Read(ChipSimulator &chip, uint32_t address, uint16_t length) {
  return Query(
      chip,
      {0x03, static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)},
      length);
}

// Page program as two parts of one instruction: opcode and address, then the data.
inline bool PageProgram(ChipSimulator &chip, uint32_t address, const std::vector<uint8_t> &data) {
  Out(chip, 0x80, 0, 0,
      {0x02, static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)});
  return Out(chip, 0x80, 0, 1, data).ok();
}

// Polls the write-in-progress bit, sleeping stepMs between polls; true once it clears.
inline bool WaitIdle(ChipSimulator &chip, int polls = 1000, uint32_t stepMs = 10) {
  for (int i = 0; i < polls; ++i) {
    if ((Status(chip) & 0x01) == 0)
      return true;
    chip.Time().Source().SleepMs(stepMs);
  }
  return false;
}

inline std::vector<uint8_t> Pattern(size_t count, uint8_t seed) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

inline SimConfig ConfigFor(const char *part) {
  SimConfig config;
  config.flashPart = *FindFlashPart(part);
  return config;
}

} // namespace orvane::sim::wire
