#include "cli/TextUpdateReporter.h"

#include "isp/HexText.h"
#include "isp/OneButtonUpdate.h"
#include "program/ProgressText.h"

namespace orvane {

namespace {
// Back to the start of the line and clear it.
constexpr const char *kClearLine = "\r\x1b[K";

void AppendEscaped(std::string &out, unsigned char byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
}
} // namespace

std::string TerminalSafeText(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // C0 controls and DEL, and the C1 controls in their UTF-8 form: a file
    // name could otherwise move the cursor, clear the screen or retitle
    // the terminal.
    if (byte < 0x20 || byte == 0x7F) {
      AppendEscaped(out, byte);
    } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      AppendEscaped(out, byte);
      AppendEscaped(out, static_cast<unsigned char>(text[++i]));
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

TextUpdateReporter::~TextUpdateReporter() {
  EndBar();
}

void TextUpdateReporter::EndBar() {
  if (!barShown_)
    return;
  out_ << kClearLine << std::flush;
  barShown_ = false;
}

void TextUpdateReporter::Line(const std::string &text) {
  EndBar();
  out_ << TerminalSafeText(text) << '\n' << std::flush;
}

void TextUpdateReporter::DeviceFound(const FoundDevice &device) {
  Line(device.caption);
}

void TextUpdateReporter::FileLoaded(const LoadedFile &file) {
  Line(file.caption);
  Line("Checksum : 0x" + HexDigits(file.checksum, 4) + " (" + std::to_string(file.length) + " bytes from " + file.path +
       ")");
  if (file.recovery)
    Line("This is the file of this device's update that was cut short: it is put back.");
}

void TextUpdateReporter::Step(const std::string &text) {
  Line(text);
}

void TextUpdateReporter::Progress(const WalkProgress &progress) {
  const bool newWalk = progress.phase != phase_ || progress.percent < lastPercent_;
  phase_ = progress.phase;
  lastPercent_ = progress.percent;
  if (newWalk)
    printedTenths_ = 0;
  if (terminal_)
    TerminalProgress(progress);
  else
    PlainProgress(progress);
}

void TextUpdateReporter::TerminalProgress(const WalkProgress &progress) {
  const bool complete = IsBlockWalk(progress.phase) && progress.done >= progress.total;
  // Redrawn when the percent or a shown second changes, not for every block.
  const std::string key = std::to_string(progress.percent) + "/" + DurationText(progress.elapsedUs) + "/" +
                          (progress.remainingUs ? DurationText(*progress.remainingUs) : "");
  if (barShown_ && key == drawnKey_ && !complete)
    return;
  out_ << kClearLine << "  " << ProgressLine(progress, true);
  if (complete) {
    // A finished walk stays on screen with its time.
    out_ << '\n';
    barShown_ = false;
  } else {
    barShown_ = true;
    drawnKey_ = key;
  }
  out_ << std::flush;
}

void TextUpdateReporter::PlainProgress(const WalkProgress &progress) {
  if (!IsBlockWalk(progress.phase))
    return;
  const int tenths = progress.percent / 10;
  if (tenths <= printedTenths_)
    return;
  printedTenths_ = tenths;
  Line("  " + ProgressLine(progress, false));
}

void TextUpdateReporter::AttemptFailed(int attempt, int attempts, const std::string &reason) {
  Line("Attempt " + std::to_string(attempt) + " of " + std::to_string(attempts) + " failed: " + reason);
}

void TextUpdateReporter::Cancelled(const std::string &text) {
  Line(text);
}

void TextUpdateReporter::Verdict(bool success, const std::string &text, int, const std::string &reason,
                                 bool flashChanged) {
  Line(text);
  if (!success)
    Line("Reason: " + ReasonForUser(reason, flashChanged));
}

void TextUpdateReporter::DeviceListed(const ListedDevice &listed) {
  const FoundDevice &device = listed.device;
  Line(device.caption);
  Line("  identity:    " + device.identity + (device.audioDriver ? " (audio driver)" : " (generic USB driver)"));
  if (!device.location.empty())
    Line("  location:    " + device.location + (device.serial.empty() ? "" : ", serial " + device.serial));
  Line("  path:        " + device.path);
  if (!listed.openable)
    Line("  access:      cannot be opened: " + listed.openError);
  Line("  update file: " + (listed.updateFile.empty() ? listed.fileNote : listed.updateFile + ", " + listed.fileNote));
}

void TextUpdateReporter::ReadBackWritten(const std::string &path, bool consistent, uint32_t bytes) {
  if (consistent)
    Line("Wrote the first " + std::to_string(bytes) + " bytes of flash to " + path);
  else
    Line("Wrote " + path + ", but the flash did not read back consistently: blocks never read twice alike show 0x5A");
}

void TextUpdateReporter::Problem(ProblemKind, const std::string &message) {
  EndBar();
  out_ << std::flush;
  err_ << "orvane-update: " << TerminalSafeText(message) << '\n' << std::flush;
}

} // namespace orvane
