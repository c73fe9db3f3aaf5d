#pragma once

#include <QString>

class QWidget;

namespace orvane {

// The window's modal questions and messages. The window uses QtDialogs;
// tests may answer the real boxes or put their own Dialogs in place.
class Dialogs {
public:
  virtual ~Dialogs() = default;
  // Refusal before any device traffic: caption "Dialog", OK.
  virtual void Message(QWidget *parent, const QString &caption, const QString &text) = 0;
  // Warning icon, OK and Cancel; true for OK. details, when not empty, is
  // shown below the text.
  virtual bool Confirm(QWidget *parent, const QString &caption, const QString &text, const QString &details) = 0;
  // An exception that escaped a handler, reported as the toolkit does.
  virtual void Exception(QWidget *parent, const QString &text) = 0;
  // Empty when the user cancels.
  virtual QString OpenFileName(QWidget *parent, const QString &filter, const QString &defaultSuffix) = 0;
  virtual QString SaveFileName(QWidget *parent, const QString &filter, const QString &defaultSuffix) = 0;
};

class QtDialogs final : public Dialogs {
public:
  void Message(QWidget *parent, const QString &caption, const QString &text) override;
  bool Confirm(QWidget *parent, const QString &caption, const QString &text, const QString &details) override;
  void Exception(QWidget *parent, const QString &text) override;
  QString OpenFileName(QWidget *parent, const QString &filter, const QString &defaultSuffix) override;
  QString SaveFileName(QWidget *parent, const QString &filter, const QString &defaultSuffix) override;
};

} // namespace orvane
