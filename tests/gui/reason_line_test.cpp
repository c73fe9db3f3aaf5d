#include "app/ReasonLine.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTest>

using namespace orvane;

// The line that says why, on its own.
class ReasonLineTest : public QObject {
  Q_OBJECT

private slots:
  void aTextThatFitsStaysWhole() {
    QCOMPARE(ShortenInMiddle("line 5: the record checksum does not match", [](const QString &) { return true; }),
             QString("line 5: the record checksum does not match"));
  }

  // The fewest characters go, from the middle: both ends stay readable.
  void aTextThatDoesNotFitLosesItsMiddle() {
    const QString text = "abcdefghijklmnopqrstuvwxyz";
    const QString shown = ShortenInMiddle(text, [](const QString &candidate) { return candidate.size() <= 11; });
    QCOMPARE(shown.size(), 11);
    QCOMPARE(shown, QString("abcde") + QChar(0x2026) + "vwxyz");
  }

  // The line shows the reason set last; when that one no longer holds,
  // the other one again.
  void theLastReasonShowsAndTheOtherComesBack() {
    ReasonLine line(nullptr);
    line.resize(400, 40);
    QCOMPARE(line.text(), QString());
    line.ShowReason(ReasonOf::UpdateFile, "Orvane_R62.hex was not loaded: line 5: the record checksum does not match.");
    line.ShowReason(ReasonOf::Update, "another program is updating this device");
    QCOMPARE(line.text(), QString("another program is updating this device"));
    QCOMPARE(line.toolTip(), QString("another program is updating this device"));
    line.ShowReason(ReasonOf::Update, "");
    QCOMPARE(line.text(), QString("Orvane_R62.hex was not loaded: line 5: the record checksum does not match."));
    line.ShowReason(ReasonOf::UpdateFile, "");
    QCOMPARE(line.text(), QString());
    QCOMPARE(line.toolTip(), QString());
  }

  void itsTextCanBeSelectedAndCopiedWhole() {
    ReasonLine line(nullptr);
    line.resize(120, 16); // one short line: the reason is shortened
    QVERIFY(line.textInteractionFlags() & Qt::TextSelectableByMouse);
    QCOMPARE(line.textFormat(), Qt::PlainText);
    QCOMPARE(line.actions().size(), 1);
    QAction *copy = line.actions().front();
    QVERIFY2(!copy->isEnabled(), "nothing to copy");
    const QString reason = "the new firmware was written and verified, but the device did not leave ISP mode";
    line.ShowReason(ReasonOf::Update, reason);
    QVERIFY(line.text() != reason);
    QVERIFY(copy->isEnabled());
    copy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), reason);
  }

  // A file's name is shown as it is, never read as markup.
  void markupInANameIsShownAsText() {
    ReasonLine line(nullptr);
    line.resize(400, 40);
    line.ShowReason(ReasonOf::UpdateFile, "<b>x</b>.hex cannot be used: the file does not exist.");
    QCOMPARE(line.text(), QString("<b>x</b>.hex cannot be used: the file does not exist."));
    QCOMPARE(line.textFormat(), Qt::PlainText);
  }
};

QTEST_MAIN(ReasonLineTest)
#include "reason_line_test.moc"
