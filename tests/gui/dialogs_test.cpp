#include "app/Dialogs.h"
#include "app/FileDialogFilters.h"
#include "app/ProgramIcon.h"
#include "app/WhenExposed.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace orvane;

namespace {

// Looks at the modal box once it is up, then closes it with the given button.
void WhenBoxOpens(std::function<void(QMessageBox &)> inspect, QMessageBox::StandardButton press) {
  QTimer::singleShot(0, [inspect, press] {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box) {
      QFAIL("no message box is open");
      return;
    }
    inspect(*box);
    box->button(press)->click();
  });
}

} // namespace

class DialogsTest : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { QCoreApplication::setApplicationName("orvane-updater"); }

  void messageIsAnInformationBoxWithOk() {
    QtDialogs dialogs;
    bool seen = false;
    WhenBoxOpens(
        [&](QMessageBox &box) {
          seen = true;
          QCOMPARE(box.windowTitle(), QString("Dialog"));
          QCOMPARE(box.text(), QString("No file"));
          QCOMPARE(box.icon(), QMessageBox::Information);
          QCOMPARE(box.standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        },
        QMessageBox::Ok);
    dialogs.Message(nullptr, "Dialog", "No file");
    QVERIFY(seen);
  }

  void confirmIsAWarningWithOkAndCancel() {
    QtDialogs dialogs;
    WhenBoxOpens(
        [](QMessageBox &box) {
          QCOMPARE(box.windowTitle(), QString("Warning"));
          QCOMPARE(box.icon(), QMessageBox::Warning);
          QCOMPARE(box.standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
        },
        QMessageBox::Ok);
    QVERIFY(dialogs.Confirm(nullptr, "Warning", "Start?", ""));
    WhenBoxOpens([](QMessageBox &) {}, QMessageBox::Cancel);
    QVERIFY(!dialogs.Confirm(nullptr, "Warning", "Start?", ""));
  }

  // The question stays as it is; what it is about goes below it.
  void confirmShowsTheDetailsBelowTheQuestion() {
    QtDialogs dialogs;
    QString text, details;
    WhenBoxOpens(
        [&](QMessageBox &box) {
          text = box.text();
          details = box.informativeText();
        },
        QMessageBox::Cancel);
    QVERIFY(!dialogs.Confirm(nullptr, "Warning", "Start?", "File: Orvane_R62.hex, checksum 0x1A2B"));
    QCOMPARE(text, QString("Start?"));
    QCOMPARE(details, QString("File: Orvane_R62.hex, checksum 0x1A2B"));
  }

  // A refusal of the FILE argument comes up before the window manager has
  // placed the window: it waits for the window, then opens over it.
  void aBoxAskedForAtStartOpensOverTheWindowOnceItShows() {
    QWidget window;
    window.setWindowIcon(ProgramIcon());
    window.resize(606, 200);
    window.move(300, 250);
    QtDialogs dialogs;
    QPoint boxCentre;
    bool ran = false;
    window.show();
    WhenExposed(window, [&] {
      ran = true;
      WhenBoxOpens([&](QMessageBox &box) { boxCentre = box.frameGeometry().center(); }, QMessageBox::Ok);
      dialogs.Message(&window, "Dialog", "the file does not exist");
    });
    QVERIFY2(!ran, "not before the message loop turns");
    QTRY_VERIFY(ran);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint windowCentre = window.frameGeometry().center();
    QVERIFY2((boxCentre - windowCentre).manhattanLength() <= 4, qPrintable(QString("box at %1,%2, window at %3,%4")
                                                                               .arg(boxCentre.x())
                                                                               .arg(boxCentre.y())
                                                                               .arg(windowCentre.x())
                                                                               .arg(windowCentre.y())));
  }

  // Title bars and task bars show the program's own icon, in every size
  // they ask for, on its window and on its message boxes.
  void theBoxesCarryTheProgramsIcon() {
    const QIcon icon = ProgramIcon();
    QVERIFY(!icon.isNull());
    for (const int size : {16, 32, 48, 256})
      QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
    QApplication::setWindowIcon(icon);
    QtDialogs dialogs;
    qint64 boxIcon = 0;
    WhenBoxOpens([&](QMessageBox &box) { boxIcon = box.windowIcon().cacheKey(); }, QMessageBox::Ok);
    dialogs.Message(nullptr, "Dialog", "No file");
    QCOMPARE(boxIcon, QApplication::windowIcon().cacheKey());
    QApplication::setWindowIcon(QIcon());
  }

  void exceptionIsACriticalBoxTitledWithTheProgramName() {
    QtDialogs dialogs;
    bool seen = false;
    WhenBoxOpens(
        [&](QMessageBox &box) {
          seen = true;
          QCOMPARE(box.windowTitle(), QString("orvane-updater"));
          QCOMPARE(box.icon(), QMessageBox::Critical);
          QCOMPARE(box.text(), QString("'0x' is not a valid integer value"));
        },
        QMessageBox::Ok);
    dialogs.Exception(nullptr, "'0x' is not a valid integer value");
    QVERIFY(seen);
  }

  void fileDialogsOfferTheImageFilters() {
    QtDialogs dialogs;
    QStringList filters;
    QString suffix;
    QTimer::singleShot(0, [&] {
      auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      filters = dialog->nameFilters();
      suffix = dialog->defaultSuffix();
      dialog->reject();
    });
    QCOMPARE(dialogs.OpenFileName(nullptr, kOpenBinFileFilter, kOpenBinFileDefaultSuffix), QString());
    QCOMPARE(filters, (QStringList{"Hex File (*.hex *.h00)", "Binary File (*.bin)"}));
    QCOMPARE(suffix, QString("hex"));
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
