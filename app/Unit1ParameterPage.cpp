#include "app/Unit1.h"
#include "app/VirtualKeys.h"
#include "panels/ChipParameterMailbox.h"
#include "panels/DeviceActionGuard.h"
#include "panels/ParameterDisplay.h"
#include "panels/ParameterExchange.h"
#include "panels/ParameterOptions.h"
#include "ui_Unit1.h"

#include <QLabel>
#include <QLineEdit>

namespace orvane {
namespace {

constexpr const char *kDialogCaption = "Dialog";
constexpr int kMclkFrequencyButtons = 4;

// The device's parameter mailbox for one exchange; each transfer opens and
// closes the device by itself. Like every device action it waits for no
// other: while one runs (an update's erase wait) it is not acquired and
// the page does nothing.
class DeviceMailbox {
public:
  explicit DeviceMailbox(ProgramState &state)
      : guard_(state.monitor), chip_(state.usb, state.clock, state.flash.FlashId), mailbox_(chip_) {}
  explicit operator bool() const { return guard_.acquired(); }
  ParameterMailbox &Mailbox() { return mailbox_; }

private:
  DeviceActionGuard guard_;
  ChipCommands chip_;
  ChipParameterMailbox mailbox_;
};

// Where the page says that a string was cut: next to its box.
QString CutNoteName(const QLineEdit &box) {
  return box.objectName() + "Cut";
}

void AddCutNote(QLineEdit &box) {
  auto *note = new QLabel(box.parentWidget());
  note->setObjectName(CutNoteName(box));
  note->setGeometry(456, box.y(), 125, box.height()); // the text centred on the box's line
  QPalette colours = note->palette();
  colours.setColor(QPalette::WindowText, Qt::red);
  note->setPalette(colours);
}

} // namespace

void TForm1::BindParameterPage() {
  Ui::TForm1 &c = *ui_;
  const auto bind = [this](QAbstractButton *control, void (TForm1::*handler)(QObject *)) {
    OnClick(control, [this, handler](QObject *sender) { (this->*handler)(sender); });
  };
  bind(c.btnReadPara, &TForm1::btnReadParaClick);
  bind(c.btnSetPara, &TForm1::btnSetParaClick);
  bind(c.rbnI2Slen0, &TForm1::rbnI2SlenClick);
  bind(c.rbnI2Slen1, &TForm1::rbnI2SlenClick);
  bind(c.rbnSPDIFlen0, &TForm1::rbnSPDIFlenClick);
  bind(c.rbnSPDIFlen1, &TForm1::rbnSPDIFlenClick);
  bind(c.chkI2SLRSwap, &TForm1::chkI2SLRSwapClick);
  bind(c.chkDSDLRSwap, &TForm1::chkDSDLRSwapClick);
  for (QAbstractButton *frequency : {c.rbnMCLKOutFreq0, c.rbnMCLKOutFreq1, c.rbnMCLKOutFreq2, c.rbnMCLKOutFreq3})
    bind(frequency, &TForm1::rbnMCLKOutFreqClick);
  bind(c.rbnI2SFormat0, &TForm1::rbnI2SFormatClick);
  bind(c.rbnI2SFormat1, &TForm1::rbnI2SFormatClick);
  bind(c.rbnDSDOut0, &TForm1::rbnDSDOutClick);
  bind(c.rbnDSDOut1, &TForm1::rbnDSDOutClick);
  bind(c.chkMCLKOutOff, &TForm1::chkMCLKOutOffClick);
  bind(c.chkI2SOutOff, &TForm1::chkI2SOutOffClick);
  bind(c.chkSPDIFOutOff, &TForm1::chkSPDIFOutOffClick);

  for (QLineEdit *box : {c.lbledSysVID, c.lbledSysPID})
    OnKeyDown(box, [this](QObject *sender, int &key) { lbledSysVIDPIDKeyDown(sender, key); });
  for (QLineEdit *box : {c.lbledSysStr1, c.lbledSysStr2, c.lbledSysStr3}) {
    AddCutNote(*box);
    OnKeyDown(box, [this](QObject *sender, int &key) { lbledSysStrKeyDown(sender, key); });
  }
}

void TForm1::ShowParameterRecord() {
  for (const ControlSetting &setting : ParameterRecordDisplay(state_.parameters)) {
    const QString name = QString::fromStdString(setting.control);
    if (setting.kind == ControlSetting::Kind::Caption) {
      if (auto *label = findChild<QLabel *>(name))
        label->setText(QString::fromStdString(setting.caption));
    } else if (auto *button = findChild<QAbstractButton *>(name)) {
      button->setChecked(setting.checked); // runs the control's click handler
    }
  }
}

void TForm1::btnReadParaClick(QObject *) {
  DeviceMailbox device(state_);
  if (!device)
    return;
  ReadBackParameterRecord(device.Mailbox(), state_.parameters);
  ShowParameterRecord();
}

void TForm1::btnSetParaClick(QObject *) {
  DeviceMailbox device(state_);
  if (!device)
    return;
  SetParameterRecord(device.Mailbox(), state_.parameters);
}

void TForm1::rbnI2SlenClick(QObject *) {
  SetI2sOutput32Bit(state_.parameters, ui_->rbnI2Slen0->isChecked());
}

void TForm1::rbnSPDIFlenClick(QObject *) {
  SetSpdifOutput32Bit(state_.parameters, ui_->rbnSPDIFlen0->isChecked());
}

void TForm1::chkI2SLRSwapClick(QObject *) {
  SetI2sChannelSwap(state_.parameters, ui_->chkI2SLRSwap->isChecked());
}

void TForm1::chkDSDLRSwapClick(QObject *) {
  SetDsdChannelSwap(state_.parameters, ui_->chkDSDLRSwap->isChecked());
}

void TForm1::rbnMCLKOutFreqClick(QObject *Sender) {
  for (int number = 0; number < kMclkFrequencyButtons; ++number) {
    if (Sender == findChild<QObject *>("rbnMCLKOutFreq" + QString::number(number))) {
      SetMclkFrequencyIndex(state_.parameters, static_cast<unsigned>(number));
      return;
    }
  }
}

void TForm1::rbnI2SFormatClick(QObject *) {
  SetI2sLeftJustified(state_.parameters, !ui_->rbnI2SFormat0->isChecked());
}

void TForm1::rbnDSDOutClick(QObject *) {
  SetNativeDsdOutput(state_.parameters, ui_->rbnDSDOut0->isChecked());
}

void TForm1::chkMCLKOutOffClick(QObject *) {
  SetMclkOutputOff(state_.parameters, ui_->chkMCLKOutOff->isChecked());
}

void TForm1::chkI2SOutOffClick(QObject *) {
  SetI2sOutputOff(state_.parameters, ui_->chkI2SOutOff->isChecked());
}

void TForm1::chkSPDIFOutOffClick(QObject *) {
  SetSpdifOutputOff(state_.parameters, ui_->chkSPDIFOutOff->isChecked());
}

void TForm1::lbledSysVIDPIDKeyDown(QObject *Sender, int &Key) {
  if (Key != vk::Return)
    return;
  Ui::TForm1 &c = *ui_;
  if (Sender != c.lbledSysVID && Sender != c.lbledSysPID)
    return;
  const auto which = Sender == c.lbledSysVID ? DeviceIdentifier::Vendor : DeviceIdentifier::Product;
  const std::string text = static_cast<QLineEdit *>(Sender)->text().toStdString();
  DeviceMailbox device(state_);
  if (!device)
    return;
  const ParameterSend send = SendDeviceIdentifier(device.Mailbox(), which, text);
  if (!send.sent)
    dialogs_.Message(this, kDialogCaption, QString::fromStdString(send.refusal));
}

void TForm1::lbledSysStrKeyDown(QObject *Sender, int &Key) {
  if (Key != vk::Return)
    return;
  Ui::TForm1 &c = *ui_;
  DescriptorString which;
  if (Sender == c.lbledSysStr1)
    which = DescriptorString::Manufacturer;
  else if (Sender == c.lbledSysStr2)
    which = DescriptorString::ModelName;
  else if (Sender == c.lbledSysStr3)
    which = DescriptorString::SerialNumber;
  else
    return;
  auto *box = static_cast<QLineEdit *>(Sender);
  DeviceMailbox device(state_);
  if (!device)
    return;
  const ParameterSend send = SendDescriptorString(device.Mailbox(), state_.clock, which, box->text().toStdString());
  if (auto *note = findChild<QLabel *>(CutNoteName(*box)))
    note->setText(send.capped ? kDescriptorCappedNote : "");
  if (!send.sent)
    dialogs_.Message(this, kDialogCaption, QString::fromStdString(send.refusal));
}

} // namespace orvane
