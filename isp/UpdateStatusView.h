#pragma once

#include <string>

namespace orvane {

enum class StatusTone {
  Normal,  // window-text colour, 16 pixels high
  Retry,   // red, 16 pixels high
  Failure, // red, 21 pixels high
  Success, // blue, 21 pixels high
};

// The large status line of the simple window.
class UpdateStatusView {
public:
  virtual ~UpdateStatusView() = default;
  virtual void ShowStatus(const std::string &text, StatusTone tone) = 0;
  virtual void ProcessMessages() = 0;
};

} // namespace orvane
