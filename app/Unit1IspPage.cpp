#include "app/Unit1.h"
#include "app/WindowIspView.h"
#include "app/shell/ConvertError.h"
#include "app/shell/DeviceActionGuard.h"
#include "isp/FlashErase.h"
#include "isp/FlashWorkers.h"
#include "ui_Unit1.h"
#include "usb/ChipCommands.h"

#include <stdexcept>

namespace orvane {
namespace {

// A kilobyte count from a range box; negative counts would wrap the range.
uint32_t RangeKilobytes(const QString &text) {
  const int kilobytes = StrToInt(text.toStdString());
  if (kilobytes < 0)
    throw std::runtime_error("'" + text.toStdString() + "' is not a valid range in kilobytes");
  return static_cast<uint32_t>(kilobytes) * 1024u;
}

} // namespace

void TForm1::BindIspPage() {
  OnClick(ui_->rbnRange0, [this](QObject *sender) { rbnRangeClick(sender); });
  OnClick(ui_->rbnRange1, [this](QObject *sender) { rbnRangeClick(sender); });
  OnClick(ui_->btnUSBErase, [this](QObject *sender) { btnUSBEraseClick(sender); });
}

void TForm1::rbnRangeClick(QObject *) {
  const bool assigned = ui_->rbnRange1->isChecked();
  for (QWidget *control : {static_cast<QWidget *>(ui_->lbledISPStart), static_cast<QWidget *>(ui_->lbledISPRange),
                           static_cast<QWidget *>(ui_->Label20), static_cast<QWidget *>(ui_->Label21)})
    control->setEnabled(assigned);
  if (!assigned) {
    state_.flash.RangeStart = 0;
    return;
  }
  state_.flash.RangeStart = RangeKilobytes(ui_->lbledISPStart->text());
  state_.flash.RangeSize = RangeKilobytes(ui_->lbledISPRange->text());
}

void TForm1::btnUSBEraseClick(QObject *) {
  DeviceActionGuard action(state_.monitor);
  if (!action)
    return;
  ChipCommands chip(state_.usb, state_.clock, state_.flash.FlashId);
  WindowIspView view(*ui_, *pump_);
  FlashWorkers workers(chip, state_.image, state_.flash, view);
  FlashErase(chip, workers, state_.flash, view).Run(ui_->rbnRange0->isChecked());
}

} // namespace orvane
