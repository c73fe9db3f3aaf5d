#include "app/WindowUpdateStatusView.h"

#include "app/FontSubstitutes.h"
#include "program/MessagePump.h"

#include <QApplication>
#include <QLabel>

namespace orvane {
namespace {

constexpr int kStepPointSize = 12;
constexpr int kVerdictPointSize = 16;

QColor ToneColour(StatusTone tone) {
  switch (tone) {
  case StatusTone::Retry:
  case StatusTone::Failure:
    return QColor(255, 0, 0);
  case StatusTone::Success:
    return QColor(0, 0, 255);
  case StatusTone::Normal:
    break;
  }
  return QApplication::palette().color(QPalette::WindowText);
}

} // namespace

void WindowUpdateStatusView::ShowStatus(const std::string &text, StatusTone tone) {
  label_.setText(QString::fromStdString(text));
  QFont font = label_.font();
  const bool verdict = tone == StatusTone::Failure || tone == StatusTone::Success;
  font.setPixelSize(DesignPixelSize(verdict ? kVerdictPointSize : kStepPointSize));
  label_.setFont(font);
  QPalette colours = label_.palette();
  colours.setColor(QPalette::WindowText, ToneColour(tone));
  label_.setPalette(colours);
}

void WindowUpdateStatusView::ProcessMessages() {
  pump_.ProcessMessages();
}

} // namespace orvane
