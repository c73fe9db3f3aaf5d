#include "cli/JsonUpdateReporter.h"

#include "cli/JsonEvent.h"
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
  case ProblemKind::LockFailed:
    return "lock_failed";
  case ProblemKind::NoUpdateFile:
    return "no_update_file";
  case ProblemKind::InvalidFile:
    return "invalid_file";
  case ProblemKind::OtherModel:
    return "other_model";
  case ProblemKind::OutputFile:
    return "output_file";
  }
  return "error";
}

JsonEvent Event(const char *name) {
  JsonEvent line = JsonEvent::object();
  line["event"] = name;
  return line;
}

// The text, or null when there is none.
JsonEvent TextOrNull(const std::string &text) {
  return text.empty() ? JsonEvent(nullptr) : JsonEvent(text);
}

void AddDevice(JsonEvent &line, const FoundDevice &device) {
  line["caption"] = device.caption;
  line["identity"] = device.identity;
  line["model"] = TextOrNull(device.model);
  line["driver"] = device.audioDriver ? "audio" : "generic";
  line["path"] = device.path;
  line["location"] = device.location;
  line["serial"] = TextOrNull(device.serial);
}

uint64_t Milliseconds(uint64_t us) {
  return us / 1000;
}

} // namespace

void JsonUpdateReporter::Emit(JsonEvent line, bool placed) {
  if (!location_.empty() && !placed)
    line["location"] = location_;
  std::unique_lock lock = lock_ ? std::unique_lock(*lock_) : std::unique_lock<std::mutex>();
  out_ << JsonLineText(line) << '\n' << std::flush;
}

void JsonUpdateReporter::DeviceFound(const FoundDevice &device) {
  JsonEvent line = Event("device_found");
  AddDevice(line, device);
  Emit(line, true);
}

void JsonUpdateReporter::FileLoaded(const LoadedFile &file) {
  JsonEvent line = Event("file_loaded");
  line["path"] = file.path;
  line["caption"] = file.caption;
  line["length"] = file.length;
  line["checksum"] = uint32_t{file.checksum};
  line["checksum_hex"] = "0x" + HexDigits(file.checksum, 4);
  line["recovery"] = file.recovery;
  recovery_ = file.recovery;
  Emit(line);
}

void JsonUpdateReporter::Step(const std::string &text) {
  walking_ = false;
  JsonEvent line = Event("step");
  line["text"] = text;
  Emit(line);
}

void JsonUpdateReporter::Progress(const WalkProgress &progress) {
  const bool newWalk = !walking_ || progress.phase != phase_ || progress.done < lastDone_;
  walking_ = true;
  phase_ = progress.phase;
  lastDone_ = progress.done;
  if (newWalk)
    lastPercent_ = -1;

  JsonEvent line = Event("progress");
  line["phase"] = PhaseKey(progress.phase);
  line["done"] = progress.done;
  line["total"] = progress.total;
  if (!IsBlockWalk(progress.phase)) {
    if (progress.done % kErasePollsPerEvent != 0)
      return;
    line["elapsed_ms"] = Milliseconds(progress.elapsedUs);
    Emit(line);
    return;
  }
  if (progress.percent == lastPercent_)
    return;
  lastPercent_ = progress.percent;
  line["percent"] = progress.percent;
  line["bytes"] = progress.bytes;
  line["total_bytes"] = progress.totalBytes;
  line["elapsed_ms"] = Milliseconds(progress.elapsedUs);
  line["remaining_ms"] = progress.remainingUs ? JsonEvent(Milliseconds(*progress.remainingUs)) : JsonEvent(nullptr);
  Emit(line);
}

void JsonUpdateReporter::AttemptFailed(int attempt, int attempts, const std::string &reason) {
  JsonEvent line = Event("attempt_failed");
  line["attempt"] = attempt;
  line["attempts"] = attempts;
  line["reason"] = reason;
  Emit(line);
}

void JsonUpdateReporter::Cancelled(const std::string &text) {
  JsonEvent line = Event("cancelled");
  line["text"] = text;
  Emit(line);
}

void JsonUpdateReporter::Verdict(bool success, const std::string &text, int attempts, const std::string &reason,
                                 bool flashChanged) {
  JsonEvent line = Event("verdict");
  line["success"] = success;
  line["text"] = text;
  line["attempts"] = attempts;
  line["reason"] = TextOrNull(reason);
  line["flash_changed"] = flashChanged;
  line["recovery"] = recovery_;
  Emit(line);
}

void JsonUpdateReporter::DeviceListed(const ListedDevice &listed) {
  JsonEvent line = Event("device");
  AddDevice(line, listed.device);
  line["openable"] = listed.openable;
  line["open_error"] = listed.openable ? JsonEvent(nullptr) : JsonEvent(listed.openError);
  line["update_file"] = TextOrNull(listed.updateFile);
  line["file_ready"] = listed.fileReady;
  line["file_note"] = listed.fileNote;
  Emit(line, true);
}

void JsonUpdateReporter::ReadBackWritten(const std::string &path, bool consistent, uint32_t bytes) {
  JsonEvent line = Event("read_back");
  line["path"] = path;
  line["consistent"] = consistent;
  line["bytes"] = bytes;
  Emit(line);
}

void JsonUpdateReporter::Problem(ProblemKind kind, const std::string &message) {
  JsonEvent line = Event("error");
  line["kind"] = ProblemKey(kind);
  line["message"] = message;
  Emit(line);
  std::unique_lock lock = lock_ ? std::unique_lock(*lock_) : std::unique_lock<std::mutex>();
  err_ << "orvane-update: " << (location_.empty() ? "" : location_ + ": ") << message << '\n' << std::flush;
}

} // namespace orvane
