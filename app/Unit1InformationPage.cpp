#include "app/Unit1.h"
#include "program/InformationPage.h"
#include "ui_Unit1.h"

#include <QPushButton>

namespace orvane {
namespace {

class InformationPageView final : public InformationView {
public:
  explicit InformationPageView(Ui::TForm1 &controls) : c_(controls) {}

  void ShowConnection(const std::string &text) override { c_.lblConnect->setText(QString::fromStdString(text)); }
  void ShowPlayback(const std::string &text) override { c_.lblMute->setText(QString::fromStdString(text)); }
  void SetPlaybackEnabled(bool enabled) override { c_.lblMute->setEnabled(enabled); }
  void ShowStream(const std::string &format, const std::string &rate) override {
    c_.lblCurrentFormat1->setText(QString::fromStdString(format));
    c_.lblCurrentFreq1->setText(QString::fromStdString(rate));
  }
  void SetStreamEnabled(bool enabled) override {
    for (QWidget *label : {c_.lblCurrentFormat0, c_.lblCurrentFormat1, c_.lblCurrentFreq0, c_.lblCurrentFreq1})
      label->setEnabled(enabled);
  }

private:
  Ui::TForm1 &c_;
};

} // namespace

void TForm1::BindInformationPage() {
  OnClick(ui_->btnUpdateStatus, [this](QObject *sender) { btnUpdateStatusClick(sender); });
  for (int key = 0; key < kHidKeyCount; ++key)
    if (auto *button = findChild<QPushButton *>(QStringLiteral("btnHID%1").arg(key)))
      OnClick(button, [this](QObject *sender) { btnHIDClick(sender); });
}

void TForm1::btnUpdateStatusClick(QObject *) {
  ChipCommands chip(state_.usb, state_.clock, state_.flash.FlashId);
  InformationPageView view(*ui_);
  InformationPage(chip, state_.monitor, state_.StatusBytes, state_.texts).UpdateStatus(view);
}

void TForm1::btnHIDClick(QObject *Sender) {
  for (int key = 0; key < kHidKeyCount; ++key) {
    if (Sender && Sender == findChild<QObject *>(QStringLiteral("btnHID%1").arg(key))) {
      ChipCommands chip(state_.usb, state_.clock, state_.flash.FlashId);
      InformationPage(chip, state_.monitor, state_.StatusBytes, state_.texts).SendMediaKey(key);
      return;
    }
  }
}

} // namespace orvane
