#include "app/Unit1.h"
#include "app/VirtualKeys.h"
#include "app/WindowIspView.h"
#include "isp/FlashErase.h"
#include "isp/FlashWorkers.h"
#include "isp/HexText.h"
#include "isp/IspPageActions.h"
#include "panels/ConvertError.h"
#include "panels/DeviceActionGuard.h"
#include "ui_Unit1.h"
#include "usb/ChipCommands.h"
#include "usb/DeviceSession.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace orvane {
namespace {

// Addresses beyond would wrap to the start of the flash: refused before
// anything is sent.
constexpr const char *kRangeBeyondFlash = "Flash Access Range beyond 16 MB !!    ";

// A kilobyte count from a range box; negative counts would wrap the range.
uint32_t RangeKilobytes(const QString &text) {
  const int kilobytes = StrToInt(text.toStdString());
  // Flash addresses have 24 bits: anything wider would wrap.
  if (kilobytes < 0 || kilobytes > 16 * 1024)
    throw std::runtime_error("'" + text.toStdString() + "' is not a valid range in kilobytes");
  return static_cast<uint32_t>(kilobytes) * 1024u;
}

// Open, act, close: one short device action of the page, refused
// (nullopt) while another action holds the device. Otherwise whether the
// open and the action's transfers went through; the page's buttons show
// no outcome beyond what they read, as the engineering page never did.
template <class Action> std::optional<bool> WithDevice(ProgramState &state, Action action) {
  DeviceActionGuard guard(state.monitor);
  if (!guard)
    return std::nullopt;
  ChipCommands chip(state.usb, state.clock, state.flash.FlashId);
  DeviceSession session(chip);
  // The action runs after a failed open too: its transfers fail at once,
  // and what it reads stays as it was.
  const bool opened = static_cast<bool>(session.Begin());
  const bool went = action(chip);
  return opened && went;
}

} // namespace

void TForm1::BindIspPage() {
  OnClick(ui_->rbnRange0, [this](QObject *sender) { rbnRangeClick(sender); });
  OnClick(ui_->rbnRange1, [this](QObject *sender) { rbnRangeClick(sender); });
  OnClick(ui_->btnUSBErase, [this](QObject *sender) { btnUSBEraseClick(sender); });
  OnClick(ui_->btnEnterISP, [this](QObject *sender) { btnEnterISPClick(sender); });
  OnClick(ui_->btnUSBChipID, [this](QObject *sender) { btnUSBChipIDClick(sender); });
  OnClick(ui_->btnUSBReadStatus, [this](QObject *sender) { btnUSBReadStatusClick(sender); });
  OnClick(ui_->btnUSBWriteEnable, [this](QObject *sender) { btnUSBWriteEnableClick(sender); });
  OnClick(ui_->btnUSBWriteDisable, [this](QObject *sender) { btnUSBWriteDisableClick(sender); });
  OnClick(ui_->btnUSBBlank, [this](QObject *sender) { btnUSBBlankClick(sender); });
  OnClick(ui_->btnUSBProgram, [this](QObject *sender) { btnUSBProgramClick(sender); });
  OnClick(ui_->btnUSBVerify, [this](QObject *sender) { btnUSBVerifyClick(sender); });
  OnKeyDown(ui_->lbledtUSBWriteStatus, [this](QObject *sender, int &key) { lbledtUSBWriteStatusKeyDown(sender, key); });
  OnKeyDown(ui_->lbledISPStart, [this](QObject *sender, int &key) { lbledISPStartKeyDown(sender, key); });
  OnKeyDown(ui_->lbledISPRange, [this](QObject *sender, int &key) { lbledISPStartKeyDown(sender, key); });
}

void TForm1::btnEnterISPClick(QObject *) {
  if (!state_.usb.IsFound())
    return;
  // The chip stays in the mode the button put it in until the button is
  // clicked again: the page's steps run in it. The button flips whatever
  // the chip answered.
  const bool leaving = state_.flash.IspModeActive;
  const auto switched = WithDevice(state_, [&](ChipCommands &chip) {
    if (leaving)
      return chip.SetIspMode(false);
    bool sent = chip.WriteRegister(0x00, 0x0D);
    sent = chip.WriteRegister(0x01, 3) && sent;
    return chip.SetIspMode(true) && sent;
  });
  if (!switched)
    return;
  state_.flash.IspModeActive = !leaving;
  ui_->btnEnterISP->setText(leaving ? "Enter ISP" : "Exit ISP");
}

void TForm1::btnUSBChipIDClick(QObject *) {
  // An unread identifier leaves the label showing the last one read.
  WithDevice(state_, [&](ChipCommands &chip) { return chip.FlashReadId(); });
  ui_->lblUSBChipID->setText(QString::fromStdString(ChipIdText(state_.flash.FlashId)));
}

void TForm1::btnUSBReadStatusClick(QObject *) {
  WithDevice(state_, [&](ChipCommands &chip) {
    const std::optional<uint8_t> status = chip.ReadStatus();
    // An unread status shows as busy.
    ui_->lblUSBStatus->setText(QString::fromStdString("0x" + Hex2(status.value_or(0xFF))));
    return status.has_value();
  });
}

void TForm1::lbledtUSBWriteStatusKeyDown(QObject *, int &Key) {
  if (Key != vk::Return)
    return;
  const int value = StrToInt("0x" + ui_->lbledtUSBWriteStatus->text().toStdString());
  WithDevice(state_, [&](ChipCommands &chip) { return chip.FlashWriteStatus(static_cast<uint8_t>(value)); });
}

void TForm1::btnUSBWriteEnableClick(QObject *) {
  WithDevice(state_, [&](ChipCommands &chip) { return chip.FlashWriteEnable(); });
}

void TForm1::btnUSBWriteDisableClick(QObject *) {
  WithDevice(state_, [&](ChipCommands &chip) { return chip.FlashWriteDisable(); });
}

void TForm1::lbledISPStartKeyDown(QObject *, int &) {
  // A typed range takes effect at the next range button click or sequence.
}

void TForm1::RunIspStepButton(int step) {
  DeviceActionGuard action(state_.monitor);
  if (!action)
    return;
  const bool assigned = ui_->rbnRange1->isChecked();
  if (!FitsFlashAddressSpace(assigned ? state_.flash.RangeStart : 0, state_.image.ImageLength)) {
    dialogs_.Message(this, "Dialog", kRangeBeyondFlash);
    return;
  }
  ChipCommands chip(state_.usb, state_.clock, state_.flash.FlashId);
  WindowIspView view(*ui_, *pump_);
  // The step works on the image as it is now, whatever happens while the
  // message loop turns.
  const ImageRecord image = state_.image;
  const IspSpan span = ButtonSpan(assigned, state_.flash, image);
  RunIspStep(static_cast<IspStep>(step), chip, image, state_.flash, view, span);
}

void TForm1::btnUSBBlankClick(QObject *) {
  RunIspStepButton(static_cast<int>(IspStep::BlankCheck));
}
void TForm1::btnUSBProgramClick(QObject *) {
  RunIspStepButton(static_cast<int>(IspStep::Program));
}
void TForm1::btnUSBVerifyClick(QObject *) {
  RunIspStepButton(static_cast<int>(IspStep::Verify));
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
  const bool wholeChip = ui_->rbnRange0->isChecked();
  if (!wholeChip && !FitsFlashAddressSpace(state_.flash.RangeStart, state_.flash.RangeSize)) {
    dialogs_.Message(this, "Dialog", kRangeBeyondFlash);
    return;
  }
  ChipCommands chip(state_.usb, state_.clock, state_.flash.FlashId);
  WindowIspView view(*ui_, *pump_);
  FlashWorkers workers(chip, state_.image, state_.flash, view);
  // The erase shows its own failure and marks the page failed.
  FlashErase(chip, workers).Run(wholeChip, state_.flash, view);
}

} // namespace orvane
