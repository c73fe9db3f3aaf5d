#pragma once

#include "panels/ParameterRecord.h"

namespace orvane {

// The record as the device firmware lays it out. Each setter changes only
// the bits of its own option; bits the page does not use keep the value
// last read from the device.

// Byte 0: audio-interface options.
bool I2sOutput32Bit(const ParameterRecord &record); // bit 0, else 24 bit
void SetI2sOutput32Bit(ParameterRecord &record, bool on);
bool SpdifOutput32Bit(const ParameterRecord &record); // bit 1, else 24 bit
void SetSpdifOutput32Bit(ParameterRecord &record, bool on);
bool I2sChannelSwap(const ParameterRecord &record); // bit 2
void SetI2sChannelSwap(ParameterRecord &record, bool on);
bool DsdChannelSwap(const ParameterRecord &record); // bit 3
void SetDsdChannelSwap(ParameterRecord &record, bool on);
// Bits 4-5: 0 = 128 Fs, 1 = 256 Fs, 2 = 512 Fs, 3 = 1024 Fs.
unsigned MclkFrequencyIndex(const ParameterRecord &record);
void SetMclkFrequencyIndex(ParameterRecord &record, unsigned index); // only the two low bits of index count
bool I2sLeftJustified(const ParameterRecord &record);                // bit 6, else standard I2S
void SetI2sLeftJustified(ParameterRecord &record, bool on);
bool NativeDsdOutput(const ParameterRecord &record); // bit 7, else DSD over PCM (DoP)
void SetNativeDsdOutput(ParameterRecord &record, bool on);

// Byte 1: output switches.
bool MclkOutputOff(const ParameterRecord &record); // bit 7
void SetMclkOutputOff(ParameterRecord &record, bool on);
bool I2sOutputOff(const ParameterRecord &record); // bit 6
void SetI2sOutputOff(ParameterRecord &record, bool on);
bool SpdifOutputOff(const ParameterRecord &record); // bit 5
void SetSpdifOutputOff(ParameterRecord &record, bool on);

// Byte 3: device status, written only by the device.
bool EepromPresent(const ParameterRecord &record); // bit 7

} // namespace orvane
