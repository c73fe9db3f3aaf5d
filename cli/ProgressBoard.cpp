#include "cli/ProgressBoard.h"

#include "isp/OneButtonUpdate.h"

#include "cli/TextUpdateReporter.h"
#include "program/ProgressText.h"

#include <cstdio>

namespace orvane {

namespace {

// Longer lines would wrap, and a wrapped line breaks the redraw in place.
constexpr size_t kTerminalColumns = 79;

std::string Padded(const std::string &text, size_t width) {
  return text.size() >= width ? text + ' ' : text + std::string(width - text.size(), ' ');
}

// One device's events, into its row of the board.
class BoardRow final : public UpdateReporter {
public:
  BoardRow(ProgressBoard &board, size_t row) : board_(board), row_(row) {}

  void DeviceFound(const FoundDevice &) override {}
  void FileLoaded(const LoadedFile &file) override { Doing(file.caption); }
  void Step(const std::string &text) override { Doing(text); }
  void Progress(const WalkProgress &progress) override {
    board_.Change(row_, [&](ProgressBoard::Row &row) {
      row.doing = PhaseTitle(progress.phase);
      row.percent = IsBlockWalk(progress.phase) ? progress.percent : -1;
    });
  }
  void AttemptFailed(int attempt, int attempts, const std::string &reason) override {
    Doing("attempt " + std::to_string(attempt) + " of " + std::to_string(attempts) + " failed: " + reason);
  }
  void Cancelled(const std::string &text) override { Last(text, false); }
  void Verdict(bool success, const std::string &text, int, const std::string &reason, bool flashChanged) override {
    Last(success ? text : text + " Reason: " + ReasonForUser(reason, flashChanged), false);
  }
  void DeviceListed(const ListedDevice &) override {}
  void ReadBackWritten(const std::string &, bool, uint32_t) override {}
  void Problem(ProblemKind, const std::string &message) override { Last(message, true); }

private:
  void Doing(const std::string &text) {
    board_.Change(row_, [&](ProgressBoard::Row &row) {
      row.doing = text;
      row.percent = -1;
    });
  }
  void Last(const std::string &text, bool problem) {
    board_.Change(
        row_,
        [&](ProgressBoard::Row &row) {
          row.doing = text;
          row.percent = -1;
          row.last = text;
        },
        problem);
  }

  ProgressBoard &board_;
  size_t row_;
};

} // namespace

std::unique_ptr<UpdateReporter> ProgressBoard::ForDevice(const FoundDevice &device) {
  const std::lock_guard lock(mutex_);
  rows_.push_back({device.model.empty() ? device.caption : device.model, device.location, "waiting", -1, {}, 0});
  if (terminal_)
    Redraw();
  else
    out_ << RowText(rows_.back()) << '\n' << std::flush;
  return std::make_unique<BoardRow>(*this, rows_.size() - 1);
}

std::string ProgressBoard::RowText(const Row &row) {
  std::string text = Padded(row.model, 20) + Padded(row.location, 14) + row.doing;
  if (row.percent >= 0)
    text += " " + std::to_string(row.percent) + "%";
  // Names and texts come from devices and files: none may steer the terminal.
  return TerminalSafeText(text);
}

void ProgressBoard::Redraw() {
  std::vector<std::string> lines;
  for (const Row &row : rows_) {
    lines.push_back(RowText(row));
    if (lines.back().size() > kTerminalColumns)
      lines.back().resize(kTerminalColumns);
  }
  if (lines == drawn_)
    return;
  // Back to the board's first line, then over each line, rewriting those that changed.
  if (!drawn_.empty())
    out_ << "\r\x1b[" << drawn_.size() << 'A';
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i < drawn_.size() && drawn_[i] == lines[i])
      out_ << "\x1b[1B";
    else
      out_ << "\r\x1b[K" << lines[i] << '\n';
  }
  out_ << '\r' << std::flush;
  drawn_ = std::move(lines);
}

void ProgressBoard::Change(size_t index, const std::function<void(Row &)> &change, bool problem) {
  const std::lock_guard lock(mutex_);
  Row &row = rows_[index];
  const Row before = row;
  change(row);
  if (terminal_) {
    Redraw();
    return;
  }
  const bool walkGoesOn = row.doing == before.doing && row.percent >= 0;
  if (walkGoesOn) {
    // Plain output gets a line every tenth of a walk, not every percent.
    const int tenths = row.percent / 10;
    if (tenths <= row.printedTenths)
      return;
    row.printedTenths = tenths;
  } else {
    row.printedTenths = row.percent >= 0 ? row.percent / 10 : 0;
  }
  if (row.doing == before.doing && row.percent == before.percent)
    return;
  out_ << RowText(row) << '\n' << std::flush;
  if (problem)
    err_ << "orvane-update: " << TerminalSafeText(row.location + ": " + row.last) << '\n' << std::flush;
}

void ProgressBoard::Problem(ProblemKind, const std::string &message) {
  const std::lock_guard lock(mutex_);
  out_ << std::flush;
  err_ << "orvane-update: " << TerminalSafeText(message) << '\n' << std::flush;
}

void ProgressBoard::Cancelled(const std::string &text) {
  const std::lock_guard lock(mutex_);
  out_ << text << '\n' << std::flush;
}

void ProgressBoard::Summary(const std::vector<DeviceOutcome> &outcomes) {
  const std::lock_guard lock(mutex_);
  size_t good = 0;
  size_t failed = 0;
  for (const DeviceOutcome &outcome : outcomes) {
    good += outcome.status == kExitSuccess;
    failed += IsFailedUpdate(outcome.status);
  }
  out_ << "Summary: " << outcomes.size() << (outcomes.size() == 1 ? " device, " : " devices, ") << good << " updated, "
       << failed << " failed, " << outcomes.size() - good - failed << " left alone\n";
  for (const DeviceOutcome &outcome : outcomes) {
    const char *verdict = outcome.status == kExitSuccess   ? "updated"
                          : IsFailedUpdate(outcome.status) ? "FAILED"
                                                           : "left alone";
    std::string last;
    for (const Row &row : rows_)
      if (row.location == outcome.device.location)
        last = row.last;
    out_ << TerminalSafeText("  " + Padded(outcome.device.location, 14) +
                             Padded(outcome.device.model.empty() ? outcome.device.caption : outcome.device.model, 20) +
                             verdict + (last.empty() ? "" : ": " + last))
         << '\n';
  }
  out_ << std::flush;
}

} // namespace orvane
