#include "app/Indicator.h"
#include "app/PanelFoot.h"
#include "app/ReasonLine.h"
#include "app/Unit1.h"
#include "program/ConnectionMonitor.h"
#include "ui_Unit1.h"

namespace orvane {
namespace {

// What a monitor tick changes, on the window's controls.
class WindowMonitorView final : public MonitorView {
public:
  explicit WindowMonitorView(TForm1 &form) : form_(form), c_(form.Controls()) {}

  void SetTimerInterval(int ms) override {
    // Setting the interval it already has must not restart the period.
    if (form_.Timer1()->interval() != ms)
      form_.Timer1()->setInterval(ms);
  }
  void SetDetectCaption(const std::string &text) override { c_.lblDetectDevice->setText(QString::fromStdString(text)); }
  void SetFileStatus(const std::string &text) override {
    c_.lblUpdaeFileStatus->setText(QString::fromStdString(text));
    // A refusal's reason belongs to the caption that named the refused file.
    c_.lblUpdaeFileStatus->setToolTip(QString());
    form_.Foot().Reason().ShowReason(ReasonOf::UpdateFile, QString());
  }
  void SetProcessStatus(const std::string &text) override {
    c_.lblISPProcStatus->setText(QString::fromStdString(text));
    c_.lblISPProcStatus->setToolTip(QString());
    form_.Foot().Reason().ShowReason(ReasonOf::Update, QString());
  }
  void SetIndicator(IndicatorColour colour) override { PaintIndicator(*c_.pnlUSBExist, colour); }
  void SetStartEnabled(bool enabled) override { form_.Locks().SetEnabled(c_.btnSimpleAuto, enabled); }
  void ReadProgramFile1() override { form_.ReadProgramFile1(); }

private:
  TForm1 &form_;
  Ui::TForm1 &c_;
};

} // namespace

void TForm1::BindMonitor() {
  connect(timer1_, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(timer1_); }); });
  OnClick(ui_->chkDetectUSB, [this](QObject *sender) { chkDetectUSBClick(sender); });
}

void TForm1::Timer1Timer(QObject *) {
  WindowMonitorView view(*this);
  ConnectionMonitor(state_, view).Tick();
}

void TForm1::chkDetectUSBClick(QObject *) {
  const bool checked = ui_->chkDetectUSB->isChecked();
  WindowMonitorView view(*this);
  ConnectionMonitor(state_, view).SetDetect(checked);
  // The identity boxes take no part in the search while it runs.
  ui_->lbledtVID->setEnabled(!checked);
  ui_->lbledtPID->setEnabled(!checked);
}

} // namespace orvane
