#pragma once

#include <array>
#include <cstdint>

namespace orvane {

// Four bytes of audio options and device status kept by the device firmware.
using ParameterRecord = std::array<uint8_t, 4>;

} // namespace orvane
