#pragma once

#include "sim/SimModel.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::sim {

inline constexpr size_t kSampleFirmwareBytes = 0x16000; // 88 KB: crosses 64 KB, fits the 128 KB part
inline constexpr uint32_t kSampleParameterTableOffset = 0x3000;
inline constexpr uint32_t kSampleUnusedBegin = 0x8000; // an erased stretch, as linkers leave them
inline constexpr uint32_t kSampleUnusedEnd = 0x9000;

// A plausible firmware image for the model: a reset and interrupt vector
// table, code-like bytes, the user-parameter table with its marker
// "VXUSB_Table01", the identifiers and descriptor strings, an erased
// stretch, and a footer with the model's name and a 16-bit sum. The same
// model and size always give the same bytes.
std::vector<uint8_t> GenerateSampleFirmware(const SimModel &model, size_t size = kSampleFirmwareBytes);

// "Orvane_R62.hex" for extension ".hex".
std::string SampleFirmwareFileName(const SimModel &model, const std::string &extension);

} // namespace orvane::sim
