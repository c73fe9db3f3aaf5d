#include "app/Indicator.h"
#include "app/PanelFoot.h"
#include "app/ReasonLine.h"
#include "app/Unit1.h"
#include "isp/ImageFileNameList.h"
#include "isp/ImageFileOpen.h"
#include "isp/ProgramFileLoad.h"
#include "program/UpdateFileSource.h"
#include "ui_Unit1.h"
#include "usb/DeviceTable.h"

#include <QFontMetrics>

namespace orvane {

namespace {

// The model's own file names fit the line; a name the user chose may not:
// its middle gives way, and the whole caption is in the tooltip.
void ShowUpdateFileLine(QLabel &line, const QString &caption, const QString &reason) {
  const QFontMetrics metrics(line.font());
  const bool fits = metrics.horizontalAdvance(caption) <= line.contentsRect().width();
  line.setText(fits ? caption : metrics.elidedText(caption, Qt::ElideMiddle, line.contentsRect().width()));
  QString tip = fits ? QString() : caption;
  if (!reason.isEmpty())
    tip += (tip.isEmpty() ? "" : "\n") + reason;
  line.setToolTip(tip);
}

} // namespace

void TForm1::BindImageFiles() {
  OnClick(ui_->USBLoadFileBitBtn, [this](QObject *sender) { USBLoadFileBitBtnClick(sender); });
}

void TForm1::USBLoadFileBitBtnClick(QObject *) {
  ReadProgramFile1();
}

void TForm1::ReadProgramFile1() {
  if (ImageLocked())
    return;
  const UpdateFileLookupResult result =
      LookUpUpdateFile(state_.image, DeviceTable[state_.DeviceRow], state_.updateSource, state_.recovery);
  // The pages share the loaded image; Start keeps its own copy of the file
  // the panel names.
  state_.panelImage = result.startEnabled ? state_.image : ImageRecord{};
  ShowUpdateFileLine(*ui_->lblUpdaeFileStatus, QString::fromStdString(result.statusCaption),
                     QString::fromStdString(result.refusal));
  foot_->Reason().ShowReason(ReasonOf::UpdateFile, QString::fromStdString(result.refusal));
  // Another program still acting on the device keeps Start off.
  locks_.SetEnabled(ui_->btnSimpleAuto, result.startEnabled && !state_.startWaitsForDevice);
  if (result.indicator)
    PaintIndicator(*ui_->pnlUSBExist, *result.indicator);
}

bool TForm1::ReadProgramFile() {
  ProgramFileLoadResult result = LoadProgramFile(state_.image);
  if (result.rememberFileName) {
    // The drop-down list keeps each name once; the box shows the current one.
    std::vector<std::string> items;
    for (int i = 0; i < ui_->cbxReadISPFile->count(); ++i)
      items.push_back(ui_->cbxReadISPFile->itemText(i).toStdString());
    if (RememberImageFileName(items, state_.image.ImageFileName))
      ui_->cbxReadISPFile->addItem(QString::fromStdString(state_.image.ImageFileName));
    ui_->cbxReadISPFile->setEditText(QString::fromStdString(state_.image.ImageFileName));
  }
  if (result.checksumCaption)
    ui_->lblUSBChecksum->setText(QString::fromStdString(*result.checksumCaption));
  if (!result.message.empty())
    dialogs_.Message(this, "Dialog", QString::fromStdString(result.message));
  return result.loaded;
}

} // namespace orvane
