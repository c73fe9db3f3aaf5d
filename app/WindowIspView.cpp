#include "app/WindowIspView.h"

#include "program/MessagePump.h"
#include "ui_Unit1.h"

namespace orvane {

void WindowIspView::ShowProcessInfo(const std::string &text) {
  c_.lblUSBProcessInfo->setText(QString::fromStdString(text));
}
void WindowIspView::ShowProcessAddress(const std::string &text) {
  c_.lblUSBISPProcess->setText(QString::fromStdString(text));
}
void WindowIspView::ShowStatusRegister(const std::string &text) {
  c_.lblUSBISPStatusReg->setText(QString::fromStdString(text));
}
void WindowIspView::ProcessMessages() {
  pump_.ProcessMessages();
}

} // namespace orvane
