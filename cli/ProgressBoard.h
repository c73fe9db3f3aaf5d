#pragma once

#include "cli/UpdateAll.h"

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace orvane {

// Several updates as text for people: on a terminal one line per device
// (model, location, what it does, percent) redrawn in place; otherwise a
// plain line per step and per tenth of a walk, each led by the device's
// location. A summary with each device's verdict ends the run.
class ProgressBoard final : public MultiDeviceReporter {
public:
  ProgressBoard(std::ostream &out, std::ostream &err, bool terminal) : out_(out), err_(err), terminal_(terminal) {}

  std::unique_ptr<UpdateReporter> ForDevice(const FoundDevice &device) override;
  void Problem(ProblemKind kind, const std::string &message) override;
  void Cancelled(const std::string &text) override;
  void Summary(const std::vector<DeviceOutcome> &outcomes) override;

  struct Row {
    std::string model;
    std::string location;
    std::string doing;
    int percent = -1; // none outside a block walk
    std::string last; // the verdict, or why nothing was done
    int printedTenths = 0;
  };

  // From a device's reporter: changes its row and shows it.
  void Change(size_t row, const std::function<void(Row &)> &change, bool problem = false);

private:
  static std::string RowText(const Row &row);
  void Redraw();

  std::ostream &out_;
  std::ostream &err_;
  bool terminal_;
  std::mutex mutex_;
  std::vector<Row> rows_;
  std::vector<std::string> drawn_; // the lines on screen, top to bottom
};

} // namespace orvane
