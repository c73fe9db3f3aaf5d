#include "app/ReasonLine.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>

namespace orvane {

namespace {

constexpr int kTextPixels = 13;
constexpr char16_t kEllipsis = 0x2026;

// text with cut characters taken out of its middle and the ellipsis in
// their place.
QString CutMiddle(const QString &text, qsizetype cut) {
  const qsizetype kept = text.size() - cut;
  const qsizetype head = (kept + 1) / 2;
  return text.left(head) + QChar(kEllipsis) + text.right(kept - head);
}

} // namespace

QString ShortenInMiddle(const QString &text, const std::function<bool(const QString &shown)> &fits) {
  if (text.isEmpty() || fits(text))
    return text;
  // The fewest characters left out that make it fit.
  qsizetype fewest = 1;
  qsizetype most = text.size();
  while (fewest < most) {
    const qsizetype cut = fewest + (most - fewest) / 2;
    if (fits(CutMiddle(text, cut)))
      most = cut;
    else
      fewest = cut + 1;
  }
  return CutMiddle(text, most);
}

ReasonLine::ReasonLine(QWidget *parent) : QLabel(parent) {
  QFont font = this->font();
  font.setPixelSize(kTextPixels);
  setFont(font);
  setWordWrap(true);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setTextFormat(Qt::PlainText);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  copy_ = new QAction(tr("Copy"), this);
  copy_->setObjectName("actCopyReason");
  copy_->setEnabled(false); // nothing to copy yet
  connect(copy_, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setText(Reason()); });
  addAction(copy_);
}

void ReasonLine::ShowReason(ReasonOf of, const QString &reason) {
  QString &held = reasons_[static_cast<int>(of)];
  if (reason == held)
    return;
  held = reason;
  if (!reason.isEmpty())
    shown_ = of;
  else if (shown_ == of)
    shown_ = of == ReasonOf::Update ? ReasonOf::UpdateFile : ReasonOf::Update;
  setToolTip(Reason());
  copy_->setEnabled(!Reason().isEmpty());
  Fit();
}

void ReasonLine::resizeEvent(QResizeEvent *event) {
  QLabel::resizeEvent(event);
  Fit();
}

void ReasonLine::Fit() {
  // Measured as the label lays its text out (selectable text is laid out
  // as a document, not as plain painted text).
  setText(ShortenInMiddle(Reason(), [this](const QString &shown) {
    setText(shown);
    return heightForWidth(width()) <= height();
  }));
}

} // namespace orvane
