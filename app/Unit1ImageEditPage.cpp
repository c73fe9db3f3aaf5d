#include "app/FileDialogFilters.h"
#include "app/Unit1.h"
#include "panels/ImageEditPage.h"
#include "ui_Unit1.h"

namespace orvane {
namespace {

// Controls are only ever unlocked here: once enabled they stay enabled.
void ApplyEnables(Ui::TForm1 &c, ActionLocks &locks, const ImageEditEnables &enables) {
  const std::pair<bool, QWidget *> unlocks[] = {{enables.check, c.btnCheck},
                                                {enables.settings, c.GroupBox9},
                                                {enables.newFile, c.btnSaveBitBin},
                                                {enables.save, c.btnSaveBin}};
  for (const auto &[unlocked, control] : unlocks)
    if (unlocked)
      locks.SetEnabled(control, true);
}

} // namespace

void TForm1::BindImageEditPage() {
  Ui::TForm1 &c = *ui_;
  OnClick(c.CurrentFileBitBtn, [this](QObject *sender) { CurrentFileBitBtnClick(sender); });
  OnClick(c.btnCheck, [this](QObject *sender) { btnCheckClick(sender); });
  OnClick(c.btnSaveBitBin, [this](QObject *sender) { btnSaveBitBinClick(sender); });
  // The ISP page's " Save" does the same as this page's.
  for (QAbstractButton *save : {c.btnSaveBin, c.Button1})
    OnClick(save, [this](QObject *sender) { btnSaveBinClick(sender); });
}

void TForm1::CurrentFileBitBtnClick(QObject *) {
  if (ImageLocked())
    return;
  const QString path = dialogs_.OpenFileName(this, kOpenBinFileFilter, kOpenBinFileDefaultSuffix);
  if (path.isEmpty() || ImageLocked())
    return;
  ReadModifyFile(path.toStdString());
  const ModifyFileReport report = ReportModifyFile(state_.imageEdit);
  ui_->lblStatusReport->setText(QString::fromStdString(report.statusReport));
  ApplyEnables(*ui_, locks_, state_.imageEdit.enables);
}

void TForm1::ReadModifyFile(const std::string &fileName) {
  if (ImageLocked())
    return;
  ImageEditState &edit = state_.imageEdit;
  edit.ModifyFileName = fileName;
  ui_->lblCurrentFilePath->setText(QString::fromStdString(fileName));
  const ImageLoadResult load = orvane::ReadModifyFile(state_.image, edit);
  // Why a file was not loaded, for whoever points at the page's report.
  ui_->lblStatusReport->setToolTip(QString::fromStdString(load.error));
  ApplyEnables(*ui_, locks_, edit.enables);
}

void TForm1::btnCheckClick(QObject *) {
  ui_->lblSaveDone->setText(QString());
  CheckModifyBuffer(state_.imageEdit);
  ApplyEnables(*ui_, locks_, state_.imageEdit.enables);
}

void TForm1::btnSaveBitBinClick(QObject *) {
  const QString path = dialogs_.SaveFileName(this, kSaveBinFileFilter, kSaveBinFileDefaultSuffix);
  if (path.isEmpty())
    return;
  ChooseOutputFile(state_.imageEdit, path.toStdString());
  ui_->lblSaveBinPath->setText(path);
  ApplyEnables(*ui_, locks_, state_.imageEdit.enables);
}

void TForm1::btnSaveBinClick(QObject *) {
  // Both " Save" buttons replace the image: never under a running action.
  if (ImageLocked())
    return;
  PutDefaultImage(state_.image, state_.imageEdit);
}

} // namespace orvane
