#pragma once

#include "cli/JsonEvent.h"
#include "program/UpdateReporter.h"

#include <mutex>
#include <ostream>
#include <string>

namespace orvane {

// Events as JSON lines for wrappers, one object per event with its kind in
// "event", each line flushed as it is written. Progress comes once per
// percent of a walk, and every 20 status polls of an erase.
class JsonUpdateReporter final : public UpdateReporter {
public:
  // err gets the message of a problem as text as well.
  JsonUpdateReporter(std::ostream &out, std::ostream &err) : out_(out), err_(err) {}
  // One device among several: every event carries its location, and each
  // line is written whole under lock, shared with the other devices' reporters.
  JsonUpdateReporter(std::ostream &out, std::ostream &err, std::string location, std::mutex &lock)
      : out_(out), err_(err), location_(std::move(location)), lock_(&lock) {}

  void DeviceFound(const FoundDevice &device) override;
  void FileLoaded(const LoadedFile &file) override;
  void Step(const std::string &text) override;
  void Progress(const WalkProgress &progress) override;
  void AttemptFailed(int attempt, int attempts, const std::string &reason) override;
  void Cancelled(const std::string &text) override;
  void Verdict(bool success, const std::string &text, int attempts, const std::string &reason,
               bool flashChanged) override;
  void DeviceListed(const ListedDevice &device) override;
  void ReadBackWritten(const std::string &path, bool consistent, uint32_t bytes) override;
  void Problem(ProblemKind kind, const std::string &message) override;

private:
  // placed: the line names its device already.
  void Emit(JsonEvent line, bool placed = false);

  std::ostream &out_;
  std::ostream &err_;
  std::string location_;
  std::mutex *lock_ = nullptr;
  bool walking_ = false;
  FlashPhase phase_ = FlashPhase::Program;
  uint32_t lastDone_ = 0;
  int lastPercent_ = -1;
  // The file loaded puts back an interrupted update; the verdict says so too.
  bool recovery_ = false;
};

} // namespace orvane
