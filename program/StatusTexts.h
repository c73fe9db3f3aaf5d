#pragma once

#include <array>
#include <string>

namespace orvane {

inline constexpr int kRateTextCount = 32;
// Index 0-15: PCM rate codes; 16-31: DSD rate codes (DoP first, native from 24).
inline constexpr std::array<const char *, kRateTextCount> kRateTexts = {
    " 44.1KHz", "   48KHz", " 88.2KHz", "   96KHz", "176.4KHz", "  192KHz", "352.8KHz", "  384KHz",
    "705.6KHz", "  768KHz", "        ", "        ", "        ", "        ", "        ", "        ",
    " DoP  64", " DoP 128", " DoP 256", " DoP 512", "        ", "        ", "        ", "        ",
    " DSD  64", " DSD 128", " DSD 256", " DSD 512", "        ", "        ", "        ", "        ",
};

// The texts the information page shows for the device's stream status.
// Created with the program-wide state, before the window.
struct StatusTexts {
  const std::string UsbConnected = "USB connected";
  const std::string UsbDisconnected = "USB Disconnected";
  const std::string Playing = "Playing";
  const std::string Mute = "Mute";
  const std::string Pcm = "PCM";
  const std::string Dsd = "DSD";
  const std::array<std::string, kRateTextCount> RateTexts = [] {
    std::array<std::string, kRateTextCount> texts;
    for (int i = 0; i < kRateTextCount; ++i)
      texts[i] = kRateTexts[i];
    return texts;
  }();
};

} // namespace orvane
