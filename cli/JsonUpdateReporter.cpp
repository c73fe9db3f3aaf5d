#include "cli/JsonUpdateReporter.h"

#include "cli/JsonLine.h"
#include "isp/HexText.h"
#include "program/ProgressText.h"

namespace orvane {

namespace {

constexpr uint32_t kErasePollsPerEvent = 20;

const char *ProblemKey(ProblemKind kind) {
  switch (kind) {
  case ProblemKind::Usage:
    return "usage";
  case ProblemKind::NoTerminal:
    return "no_terminal";
  case ProblemKind::NoDevice:
    return "no_device";
  case ProblemKind::SeveralDevices:
    return "several_devices";
  case ProblemKind::CannotOpen:
    return "cannot_open";
  case ProblemKind::DeviceBusy:
    return "device_busy";
  case ProblemKind::NoUpdateFile:
    return "no_update_file";
  case ProblemKind::InvalidFile:
    return "invalid_file";
  case ProblemKind::OutputFile:
    return "output_file";
  }
  return "error";
}

JsonLine Event(const char *name) {
  JsonLine line;
  line.Text("event", name);
  return line;
}

void AddDevice(JsonLine &line, const FoundDevice &device) {
  line.Text("caption", device.caption).Text("identity", device.identity);
  if (device.model.empty())
    line.Null("model");
  else
    line.Text("model", device.model);
  line.Text("driver", device.audioDriver ? "audio" : "generic").Text("path", device.path);
  line.Text("location", device.location);
  if (device.serial.empty())
    line.Null("serial");
  else
    line.Text("serial", device.serial);
}

uint64_t Milliseconds(uint64_t us) {
  return us / 1000;
}

} // namespace

void JsonUpdateReporter::Emit(JsonLine line, bool placed) {
  if (!location_.empty() && !placed)
    line.Text("location", location_);
  std::unique_lock lock = lock_ ? std::unique_lock(*lock_) : std::unique_lock<std::mutex>();
  out_ << line.str() << '\n' << std::flush;
}

void JsonUpdateReporter::DeviceFound(const FoundDevice &device) {
  JsonLine line = Event("device_found");
  AddDevice(line, device);
  Emit(line, true);
}

void JsonUpdateReporter::FileLoaded(const LoadedFile &file) {
  Emit(Event("file_loaded")
           .Text("path", file.path)
           .Text("caption", file.caption)
           .Number("length", file.length)
           .Number("checksum", uint32_t{file.checksum})
           .Text("checksum_hex", "0x" + HexDigits(file.checksum, 4)));
}

void JsonUpdateReporter::Step(const std::string &text) {
  walking_ = false;
  Emit(Event("step").Text("text", text));
}

void JsonUpdateReporter::Progress(const WalkProgress &progress) {
  const bool newWalk = !walking_ || progress.phase != phase_ || progress.done < lastDone_;
  walking_ = true;
  phase_ = progress.phase;
  lastDone_ = progress.done;
  if (newWalk)
    lastPercent_ = -1;

  JsonLine line = Event("progress");
  line.Text("phase", PhaseKey(progress.phase)).Number("done", progress.done).Number("total", progress.total);
  if (!IsBlockWalk(progress.phase)) {
    if (progress.done % kErasePollsPerEvent != 0)
      return;
    line.Number("elapsed_ms", Milliseconds(progress.elapsedUs));
    Emit(line);
    return;
  }
  if (progress.percent == lastPercent_)
    return;
  lastPercent_ = progress.percent;
  line.Number("percent", progress.percent)
      .Number("bytes", progress.bytes)
      .Number("total_bytes", progress.totalBytes)
      .Number("elapsed_ms", Milliseconds(progress.elapsedUs));
  if (progress.remainingUs)
    line.Number("remaining_ms", Milliseconds(*progress.remainingUs));
  else
    line.Null("remaining_ms");
  Emit(line);
}

void JsonUpdateReporter::AttemptFailed(int attempt, int attempts, const std::string &reason) {
  Emit(Event("attempt_failed").Number("attempt", attempt).Number("attempts", attempts).Text("reason", reason));
}

void JsonUpdateReporter::Cancelled(const std::string &text) {
  Emit(Event("cancelled").Text("text", text));
}

void JsonUpdateReporter::Verdict(bool success, const std::string &text, int attempts, const std::string &reason) {
  JsonLine line = Event("verdict");
  line.Flag("success", success).Text("text", text).Number("attempts", attempts);
  if (reason.empty())
    line.Null("reason");
  else
    line.Text("reason", reason);
  Emit(line);
}

void JsonUpdateReporter::DeviceListed(const ListedDevice &listed) {
  JsonLine line = Event("device");
  AddDevice(line, listed.device);
  line.Flag("openable", listed.openable);
  if (listed.openable)
    line.Null("open_error");
  else
    line.Text("open_error", listed.openError);
  if (listed.updateFile.empty())
    line.Null("update_file");
  else
    line.Text("update_file", listed.updateFile);
  line.Flag("file_ready", listed.fileReady).Text("file_note", listed.fileNote);
  Emit(line, true);
}

void JsonUpdateReporter::ReadBackWritten(const std::string &path, bool consistent, uint32_t bytes) {
  Emit(Event("read_back").Text("path", path).Flag("consistent", consistent).Number("bytes", bytes));
}

void JsonUpdateReporter::Problem(ProblemKind kind, const std::string &message) {
  Emit(Event("error").Text("kind", ProblemKey(kind)).Text("message", message));
  std::unique_lock lock = lock_ ? std::unique_lock(*lock_) : std::unique_lock<std::mutex>();
  err_ << "orvane-update: " << (location_.empty() ? "" : location_ + ": ") << message << '\n' << std::flush;
}

} // namespace orvane
