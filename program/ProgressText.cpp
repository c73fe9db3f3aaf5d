#include "program/ProgressText.h"

#include <cstdio>

namespace orvane {

namespace {
constexpr int kBarWidth = 20;
constexpr size_t kTitleWidth = 12;
} // namespace

std::string PhaseTitle(FlashPhase phase) {
  switch (phase) {
  case FlashPhase::StatusClear:
    return "Status clear";
  case FlashPhase::Erase:
    return "Erase";
  case FlashPhase::BlankCheck:
    return "Blank check";
  case FlashPhase::Program:
    return "Program";
  case FlashPhase::Verify:
    return "Verify";
  case FlashPhase::Protect:
    return "Protect";
  case FlashPhase::Leave:
    return "Leave ISP";
  case FlashPhase::ReadBack:
    return "Read back";
  }
  return "Flash";
}

std::string PhaseKey(FlashPhase phase) {
  std::string key = PhaseTitle(phase);
  for (char &c : key)
    c = c == ' ' ? '_' : static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return key;
}

std::string DurationText(uint64_t us) {
  const uint64_t seconds = us / 1'000'000;
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  return text;
}

std::string ByteCountText(uint64_t bytes, uint64_t totalBytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f/%.1f KiB", static_cast<double>(bytes) / 1024.0,
                static_cast<double>(totalBytes) / 1024.0);
  return text;
}

std::string ProgressLine(const WalkProgress &progress, bool bar) {
  std::string title = PhaseTitle(progress.phase);
  if (bar && title.size() < kTitleWidth)
    title.resize(kTitleWidth, ' ');
  const std::string elapsed = DurationText(progress.elapsedUs) + " elapsed";
  if (!IsBlockWalk(progress.phase))
    return title + " waiting for the chip, " + elapsed;

  std::string line = title + " ";
  if (bar) {
    const int filled = progress.percent * kBarWidth / 100;
    line += "[" + std::string(static_cast<size_t>(filled), '#') +
            std::string(static_cast<size_t>(kBarWidth - filled), ' ') + "] ";
  }
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", progress.percent);
  line += percent;
  line += "  " + ByteCountText(progress.bytes, progress.totalBytes) + "  " + elapsed;
  if (progress.done < progress.total)
    line += "  " + (progress.remainingUs ? DurationText(*progress.remainingUs) : std::string("-:--")) + " left";
  return line;
}

} // namespace orvane
