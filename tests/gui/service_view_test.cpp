#include "support/WindowTestSupport.h"
#include "ui_Unit1.h"

#include <QTest>

#include <memory>

using namespace orvane;
using namespace orvane::testing;

class ServiceViewTest : public QObject {
  Q_OBJECT

  std::unique_ptr<StartedWindow> started;
  Ui::TForm1 &c() { return started->form.Controls(); }
  void PressToggle() { QTest::keyClick(&started->form, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier); }

private slots:
  void init() {
    started = ShowStartedWindow();
    QVERIFY(started);
  }
  void cleanup() { started.reset(); }

  void ctrlShiftEShowsAllSixPages() {
    PressToggle();
    QVERIFY(started->form.ServiceView());
    QTabWidget *pages = c().MainPageControl;
    QVERIFY(pages->isVisible());
    for (int i = 0; i < pages->count(); ++i)
      QVERIFY2(pages->isTabVisible(i), qPrintable(pages->tabText(i)));
    // The window grew to hold the pages below the top panel.
    const QRect window(QPoint(), started->form.size());
    QVERIFY(window.contains(pages->geometry()));
    QVERIFY(pages->geometry().top() > c().pnlUSB->geometry().bottom());
    QVERIFY(started->form.height() > 200);
    QCOMPARE(pages->height(), 489);
    // Every page can be opened.
    for (int i = 0; i < pages->count(); ++i) {
      pages->setCurrentIndex(i);
      QCOMPARE(pages->currentIndex(), i);
    }
    QVERIFY(started->dialogs.exceptions.isEmpty());
  }

  void theIspPagesStepsOptionsAndRangeCanBeReachedThere() {
    QList<QWidget *> hiddenAtStart{c().GroupBox1, c().gbxISPRange, c().chkISPMode, c().chkProtect, c().chkReadFile,
                                   c().chkErase,  c().chkBlank,    c().chkProgram, c().chkVerify};
    for (QWidget *control : hiddenAtStart)
      QVERIFY(control->isHidden());
    PressToggle();
    c().MainPageControl->setCurrentWidget(c().PageISPCtrl);
    for (QWidget *control : hiddenAtStart)
      QVERIFY2(control->isVisible(), qPrintable(control->objectName()));
    QVERIFY(c().btnEnterISP->isVisible());
    QVERIFY(c().rbnRange1->isVisible());
    PressToggle();
    for (QWidget *control : hiddenAtStart)
      QVERIFY(control->isHidden());
  }

  void togglingBackRestoresTheSimpleWindowExactly() {
    const QStringList before = DescribeWindow(started->form);
    PressToggle();
    c().MainPageControl->setCurrentWidget(c().BinFile);
    PressToggle();
    QVERIFY(!started->form.ServiceView());
    const QStringList after = DescribeWindow(started->form);
    QCOMPARE(after.size(), before.size());
    for (int i = 0; i < before.size(); ++i)
      QCOMPARE(after[i], before[i]);
    QCOMPARE(started->form.size(), QSize(606, 200));
  }

  void otherKeysLeaveThePagesHidden() {
    QTest::keyClick(&started->form, Qt::Key_E, Qt::ControlModifier);
    QTest::keyClick(&started->form, Qt::Key_E, Qt::ShiftModifier);
    QTest::keyClick(&started->form, Qt::Key_F12);
    QVERIFY(!started->form.ServiceView());
    QVERIFY(c().MainPageControl->isHidden());
  }
};

QTEST_MAIN(ServiceViewTest)
#include "service_view_test.moc"
