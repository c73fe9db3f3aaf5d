#pragma once

// Key codes as the key-down handlers receive them (the design's codes).
namespace orvane::vk {
inline constexpr int Return = 13;
inline constexpr int Insert = 45;
inline constexpr int Delete = 46;
} // namespace orvane::vk
