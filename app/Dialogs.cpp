#include "app/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace orvane {
namespace {

QString AskFileName(QWidget *parent, QFileDialog::AcceptMode mode, const QString &filter,
                    const QString &defaultSuffix) {
  QFileDialog dialog(parent, QString(), QDir::currentPath(), filter);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  return dialog.selectedFiles().constFirst();
}

} // namespace

void QtDialogs::Message(QWidget *parent, const QString &caption, const QString &text) {
  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

bool QtDialogs::Confirm(QWidget *parent, const QString &caption, const QString &text, const QString &details) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
  box.setInformativeText(details);
  return box.exec() == QMessageBox::Ok;
}

void QtDialogs::Exception(QWidget *parent, const QString &text) {
  QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
  box.exec();
}

QString QtDialogs::OpenFileName(QWidget *parent, const QString &filter, const QString &defaultSuffix) {
  return AskFileName(parent, QFileDialog::AcceptOpen, filter, defaultSuffix);
}

QString QtDialogs::SaveFileName(QWidget *parent, const QString &filter, const QString &defaultSuffix) {
  return AskFileName(parent, QFileDialog::AcceptSave, filter, defaultSuffix);
}

} // namespace orvane
