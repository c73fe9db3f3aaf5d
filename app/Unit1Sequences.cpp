#include "app/FileDialogFilters.h"
#include "app/PanelFoot.h"
#include "app/ReasonLine.h"
#include "app/Unit1.h"
#include "app/UpdateProgressBar.h"
#include "app/WindowIspView.h"
#include "app/WindowUpdateStatusView.h"
#include "isp/EngineeringSequence.h"
#include "isp/FlashReadBack.h"
#include "isp/OneButtonUpdate.h"
#include "isp/ProgramFileLoad.h"
#include "isp/UpdateFileLookup.h"
#include "panels/DeviceActionGuard.h"
#include "program/BusyScope.h"
#include "program/UpdateConfirmation.h"
#include "program/UpdatePanelOutcome.h"
#include "program/UpdateRecordKeeping.h"
#include "ui_Unit1.h"
#include "usb/ChipCommands.h"
#include "usb/DeviceSession.h"
#include "usb/DeviceTable.h"

namespace orvane {
namespace {

constexpr const char *kDeviceNotAvailable = "USB device is NOT available !!    ";
constexpr const char *kRangeBeyondFlash = "Flash Access Range beyond 16 MB !!    ";
constexpr const char *kAutoCaption = "Auto";
constexpr const char *kStopCaption = "Stop";
constexpr const char *kReadBackNotSaved = "Read Flash data not saved";

// The engineering button reads "Stop" while its sequence runs, however the
// sequence ends.
class StopButtonScope {
public:
  explicit StopButtonScope(QAbstractButton &button) : button_(button) { button_.setText(kStopCaption); }
  ~StopButtonScope() {
    button_.setText(kAutoCaption);
    button_.setEnabled(true);
  }
  StopButtonScope(const StopButtonScope &) = delete;
  StopButtonScope &operator=(const StopButtonScope &) = delete;

private:
  QAbstractButton &button_;
};

} // namespace

void TForm1::BindSequences() {
  OnClick(ui_->btnSimpleAuto, [this](QObject *sender) { btnSimpleAutoClick(sender); });
  OnClick(ui_->btnUSBISPAuto, [this](QObject *sender) { btnUSBISPAutoClick(sender); });
  OnClick(ui_->btnReadBack, [this](QObject *sender) { btnReadBackClick(sender); });
}

void TForm1::btnSimpleAutoClick(QObject *) {
  DeviceActionGuard action(state_.monitor);
  if (!action)
    return;
  WindowUpdateStatusView status(*ui_->lblISPProcStatus, *pump_);
  const auto show = [&](const PanelOutcome &outcome) {
    status.ShowStatus(outcome.status, outcome.tone);
    ui_->lblISPProcStatus->setToolTip(QString::fromStdString(outcome.reason));
    foot_->Reason().ShowReason(ReasonOf::Update, QString::fromStdString(outcome.reason));
  };
  state_.flash.IspFailed = false;
  // The update programs the file the panel names, as it was loaded and
  // checksummed, and nothing else: not what the pages have put in their
  // image since, nor anything clicked while the message loop turns.
  const ImageRecord image = state_.panelImage;
  if (!image.UpdateFileLoaded) {
    show({kNoUpdatedFile, StatusTone::Failure, {}});
    return;
  }
  const ModelRow *attached = state_.usb.GetAudioDriver() ? &kModels[state_.DeviceRow] : nullptr;
  // The file of an interrupted update of this device, when that is what
  // the panel loaded.
  const std::optional<UpdateRecord> recovery =
      state_.updateSource.file.empty() && !attached ? state_.recovery : std::nullopt;
  BusyScope busy(state_.monitor); // also while the question is open
  if (!dialogs_.Confirm(
          this, "Warning", kUpdateQuestion,
          QString::fromStdString(UpdateConfirmationDetails(image, attached, recovery ? &*recovery : nullptr)))) {
    show({kUpdateAbort, StatusTone::Failure, {}});
    return;
  }
  // The question may have been open for long: a device pulled meanwhile
  // gets no attempt, and the monitor's next look says it has gone.
  if (!state_.usb.CheckDevice()) {
    show(DeviceGoneOutcome());
    locks_.SetEnabled(ui_->btnSimpleAuto, false);
    return;
  }
  // Another program updating the same device: nothing is sent, and Start
  // comes back when the monitor finds the device free.
  DeviceLockHold lock(state_.usb);
  if (!lock) {
    const DeviceError refused = state_.usb.LastDeviceError();
    show(LockRefusalOutcome(refused));
    if (refused.kind == DeviceErrorKind::Busy) {
      state_.startWaitsForDevice = true;
      locks_.SetEnabled(ui_->btnSimpleAuto, false);
    }
    return;
  }
  // One update per run: a second click could only interrupt this one.
  ui_->btnSimpleAuto->setText(kStopCaption);
  locks_.SetEnabled(ui_->btnSimpleAuto, false);
  state_.flash.StopRequested = false;

  ChipCommands chip(state_.usb, state_.clock, state_.flash.FlashId);
  WindowIspView view(*ui_, *pump_);
  UpdateVerdict verdict;
  {
    // Remembered until it has succeeded: a device cut off halfway comes
    // back in update mode and gets this file again.
    const std::string model = attached ? attached->displayName : recovery ? recovery->model : std::string();
    UpdateRecordScope record(state_.records, RecordForUpdate(state_.usb, model, image, state_.unixNow()),
                             recovery.has_value());
    UpdateProgressViews progress(*foot_, status, view, state_.clock, state_.flash, image.ImageLength);
    verdict = OneButtonUpdate(chip, image, state_.flash, progress).Run();
    record.Ended(verdict.success, verdict.flashChanged);
  }

  ui_->btnSimpleAuto->setText("Finish");
  locks_.SetEnabled(ui_->btnSimpleAuto, false);
  // The verdict text stays as it is; why it failed goes below it.
  show(UpdateOutcome(verdict));
  const std::string failureReason =
      verdict.success || !verdict.refusal.empty() ? std::string() : ReasonForUser(verdict.reason, verdict.flashChanged);
  if (!failureReason.empty())
    view.ShowProcessInfo(std::string(kUpdateFail) + " " + failureReason);
  state_.monitor.UpdateDone = true;
}

void TForm1::btnUSBISPAutoClick(QObject *Sender) {
  Ui::TForm1 &c = *ui_;
  if (c.btnUSBISPAuto->text() != kAutoCaption) {
    // A sequence runs: it looks at the request between its steps and
    // gives the button back when it has stopped.
    state_.flash.StopRequested = true;
    c.btnUSBISPAuto->setText(kAutoCaption);
    c.btnUSBISPAuto->setEnabled(false);
    return;
  }
  DeviceActionGuard action(state_.monitor);
  if (!action)
    return;
  state_.flash.IspFailed = false;
  if (!state_.usb.IsFound()) {
    dialogs_.Message(this, "Dialog", kDeviceNotAvailable);
    return;
  }
  if (!state_.image.ImageReady && c.cbxReadISPFile->currentText().isEmpty()) {
    dialogs_.Message(this, "Dialog", kProgramFileNotReady);
    return;
  }
  DeviceLockHold lock(state_.usb);
  if (!lock) {
    dialogs_.Message(this, "Dialog", QString::fromStdString(state_.usb.LastError()));
    return;
  }
  rbnRangeClick(Sender); // the range as the controls show it now
  EngineeringSteps steps;
  steps.ispMode = c.chkISPMode->isChecked();
  steps.erase = c.chkErase->isChecked();
  steps.blank = c.chkBlank->isChecked();
  steps.program = c.chkProgram->isChecked();
  steps.verify = c.chkVerify->isChecked();
  steps.protect = c.chkProtect->isChecked();
  steps.assignedRange = c.rbnRange1->isChecked();

  BusyScope busy(state_.monitor);
  locks_.Free(c.btnUSBISPAuto); // it stops the sequence
  StopButtonScope running(*c.btnUSBISPAuto);
  state_.flash.StopRequested = false;
  if (c.chkReadFile->isChecked()) {
    state_.image.ImageFileName = c.cbxReadISPFile->currentText().toStdString();
    // A file that did not load must not leave the previous image to be
    // programmed in its place; the load has said why.
    if (!ReadProgramFile())
      return;
  } else if (!state_.image.ImageReady) {
    dialogs_.Message(this, "Dialog", kProgramFileNotReady);
    return;
  }

  ChipCommands chip(state_.usb, state_.clock, state_.flash.FlashId);
  WindowIspView view(*ui_, *pump_);
  const ImageRecord image = state_.image; // as it is now, for the whole sequence
  EngineeringSequence sequence(chip, image, state_.flash, view);
  if (!sequence.SpanFits(steps)) {
    dialogs_.Message(this, "Dialog", kRangeBeyondFlash);
    return;
  }
  sequence.Run(steps);
}

void TForm1::btnReadBackClick(QObject *) {
  DeviceActionGuard action(state_.monitor);
  if (!action)
    return;
  WindowIspView view(*ui_, *pump_);
  DeviceLockHold lock(state_.usb);
  if (!lock) {
    view.ShowProcessInfo(state_.usb.LastError());
    return;
  }
  ChipCommands chip(state_.usb, state_.clock, state_.flash.FlashId);
  view.ShowProcessInfo("Read Flash data back");
  bool consistent = false;
  {
    // The page reads in whatever mode its ISP button left the chip. A
    // device that could not be opened fails the reads, which say where.
    DeviceSession session(chip);
    const bool opened = static_cast<bool>(session.Begin());
    consistent = FlashReadBack(state_.ReadBackBuffer).ReadBackRange(chip, view, 0, kReadBackEnd) && opened;
  }

  // What was read is saved whatever the outcome: the unread blocks show as
  // 0x5A. Success is only said once the rows are in the file.
  const QString path = dialogs_.SaveFileName(this, kSaveBinFileFilter, kSaveBinFileDefaultSuffix);
  if (path.isEmpty()) {
    if (consistent)
      view.ShowProcessInfo(kReadBackNotSaved);
    return;
  }
  std::string error;
  if (!WriteReadBackFile(path.toStdString(), state_.ReadBackBuffer, kReadBackEnd, &error)) {
    if (consistent)
      view.ShowProcessInfo(kReadBackNotSaved);
    dialogs_.Message(this, "Dialog", QString::fromStdString(error));
    return;
  }
  if (consistent)
    view.ShowProcessInfo("Read Flash content Success");
}

} // namespace orvane
