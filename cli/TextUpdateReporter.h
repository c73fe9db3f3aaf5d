#pragma once

#include "program/UpdateReporter.h"

#include <ostream>

namespace orvane {

// The text with its control characters shown as \xNN, so that a file
// name cannot drive the terminal it is printed on.
std::string TerminalSafeText(const std::string &text);

// Events as text for people: the window's texts one a line. On a terminal
// the running walk is one progress bar redrawn in place, kept when the walk
// completes; otherwise a plain line every tenth of a walk.
class TextUpdateReporter final : public UpdateReporter {
public:
  TextUpdateReporter(std::ostream &out, std::ostream &err, bool terminal) : out_(out), err_(err), terminal_(terminal) {}
  ~TextUpdateReporter() override;

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
  void Line(const std::string &text);
  void EndBar();
  void TerminalProgress(const WalkProgress &progress);
  void PlainProgress(const WalkProgress &progress);

  std::ostream &out_;
  std::ostream &err_;
  bool terminal_;
  bool barShown_ = false; // an unfinished bar is on the current line
  std::string drawnKey_;  // what the bar shows now, bytes aside
  // The walk being reported: a lower percent or another phase starts a new one.
  FlashPhase phase_ = FlashPhase::Program;
  int lastPercent_ = -1;
  int printedTenths_ = 0;
};

} // namespace orvane
