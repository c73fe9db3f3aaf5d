#pragma once

#include "isp/IspView.h"

namespace Ui {
class TForm1;
}

namespace orvane {

class MessagePump;

// The ISP page's labels as the flash steps write them.
class WindowIspView : public IspView {
public:
  WindowIspView(Ui::TForm1 &controls, MessagePump &pump) : c_(controls), pump_(pump) {}

  void ShowProcessInfo(const std::string &text) override;
  void ShowProcessAddress(const std::string &text) override;
  void ShowStatusRegister(const std::string &text) override;
  void ProcessMessages() override;

private:
  Ui::TForm1 &c_;
  MessagePump &pump_;
};

} // namespace orvane
