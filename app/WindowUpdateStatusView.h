#pragma once

#include "isp/UpdateStatusView.h"

class QLabel;

namespace orvane {

class MessagePump;

// The large status line of the simple window (lblISPProcStatus): step
// texts 16 pixels high in the window-text colour, the retry notice in red,
// verdicts 21 pixels high in red or blue.
class WindowUpdateStatusView final : public UpdateStatusView {
public:
  WindowUpdateStatusView(QLabel &label, MessagePump &pump) : label_(label), pump_(pump) {}

  void ShowStatus(const std::string &text, StatusTone tone) override;
  void ProcessMessages() override;

private:
  QLabel &label_;
  MessagePump &pump_;
};

} // namespace orvane
