#include "panels/ParameterOptions.h"

#include <cstddef>

namespace orvane {
namespace {

constexpr size_t kAudioOptions = 0;
constexpr size_t kOutputSwitches = 1;
constexpr size_t kDeviceStatus = 3;
constexpr unsigned kMclkShift = 4;
constexpr uint8_t kMclkMask = 0x03 << kMclkShift;

bool Bit(const ParameterRecord &record, size_t byte, unsigned bit) {
  return (record[byte] >> bit) & 1;
}

void SetBit(ParameterRecord &record, size_t byte, unsigned bit, bool on) {
  const auto mask = static_cast<uint8_t>(1u << bit);
  record[byte] = static_cast<uint8_t>(on ? record[byte] | mask : record[byte] & ~mask);
}

} // namespace

bool I2sOutput32Bit(const ParameterRecord &record) {
  return Bit(record, kAudioOptions, 0);
}
void SetI2sOutput32Bit(ParameterRecord &record, bool on) {
  SetBit(record, kAudioOptions, 0, on);
}
bool SpdifOutput32Bit(const ParameterRecord &record) {
  return Bit(record, kAudioOptions, 1);
}
void SetSpdifOutput32Bit(ParameterRecord &record, bool on) {
  SetBit(record, kAudioOptions, 1, on);
}
bool I2sChannelSwap(const ParameterRecord &record) {
  return Bit(record, kAudioOptions, 2);
}
void SetI2sChannelSwap(ParameterRecord &record, bool on) {
  SetBit(record, kAudioOptions, 2, on);
}
bool DsdChannelSwap(const ParameterRecord &record) {
  return Bit(record, kAudioOptions, 3);
}
void SetDsdChannelSwap(ParameterRecord &record, bool on) {
  SetBit(record, kAudioOptions, 3, on);
}

unsigned MclkFrequencyIndex(const ParameterRecord &record) {
  return (record[kAudioOptions] & kMclkMask) >> kMclkShift;
}
void SetMclkFrequencyIndex(ParameterRecord &record, unsigned index) {
  const auto field = static_cast<uint8_t>((index << kMclkShift) & kMclkMask);
  record[kAudioOptions] = static_cast<uint8_t>((record[kAudioOptions] & ~kMclkMask) | field);
}

bool I2sLeftJustified(const ParameterRecord &record) {
  return Bit(record, kAudioOptions, 6);
}
void SetI2sLeftJustified(ParameterRecord &record, bool on) {
  SetBit(record, kAudioOptions, 6, on);
}
bool NativeDsdOutput(const ParameterRecord &record) {
  return Bit(record, kAudioOptions, 7);
}
void SetNativeDsdOutput(ParameterRecord &record, bool on) {
  SetBit(record, kAudioOptions, 7, on);
}

bool MclkOutputOff(const ParameterRecord &record) {
  return Bit(record, kOutputSwitches, 7);
}
void SetMclkOutputOff(ParameterRecord &record, bool on) {
  SetBit(record, kOutputSwitches, 7, on);
}
bool I2sOutputOff(const ParameterRecord &record) {
  return Bit(record, kOutputSwitches, 6);
}
void SetI2sOutputOff(ParameterRecord &record, bool on) {
  SetBit(record, kOutputSwitches, 6, on);
}
bool SpdifOutputOff(const ParameterRecord &record) {
  return Bit(record, kOutputSwitches, 5);
}
void SetSpdifOutputOff(ParameterRecord &record, bool on) {
  SetBit(record, kOutputSwitches, 5, on);
}

bool EepromPresent(const ParameterRecord &record) {
  return Bit(record, kDeviceStatus, 7);
}

} // namespace orvane
