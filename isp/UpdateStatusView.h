#pragma once

#include <string>

namespace orvane {

enum class StatusTone {
  Normal,  // window-text colour, 12 points
  Retry,   // red, 12 points
  Failure, // red, 16 points
  Success, // blue, 16 points
};

// The large status line of the simple window.
class UpdateStatusView {
public:
  virtual ~UpdateStatusView() = default;
  virtual void ShowStatus(const std::string &text, StatusTone tone) = 0;
  virtual void ProcessMessages() = 0;
};

} // namespace orvane
