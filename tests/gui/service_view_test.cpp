#include "support/WindowTestSupport.h"
#include "ui_Unit1.h"

#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
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
    // The window grew to hold the pages below the top panel, as far as the
    // screen lets it; the pages keep their size and scroll in their place.
    auto *view = started->form.findChild<QScrollArea *>("ServicePages");
    QVERIFY(view);
    QCOMPARE(view->widget(), pages);
    const QRect window(QPoint(), started->form.size());
    QVERIFY(window.contains(view->geometry()));
    QVERIFY(view->geometry().top() > c().pnlUSB->geometry().bottom());
    QVERIFY(started->form.height() > 200);
    QCOMPARE(pages->height(), 489);
    QVERIFY(started->form.frameGeometry().height() <= started->form.screen()->availableGeometry().height());
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
    QCOMPARE(started->form.minimumSize(), QSize(606, 200));
    QCOMPARE(started->form.maximumSize(), QSize(606, 200));
  }

  // Each view has one size: shrinking the window would cut its content.
  void theWindowCannotBeResizedInEitherView() {
    QCOMPARE(started->form.minimumSize(), started->form.maximumSize());
    PressToggle();
    QCOMPARE(started->form.minimumSize(), started->form.maximumSize());
    QCOMPARE(started->form.minimumSize(), started->form.size());
    started->form.resize(300, 150);
    QCOMPARE(started->form.minimumSize(), started->form.size());
  }

  // On a screen lower than the pages, everything on them is reached by
  // scrolling, and the window stays on the screen.
  void onALowScreenThePagesScroll() {
    QScreen *screen = started->form.screen();
    const int free = screen->availableGeometry().height();
    PressToggle();
    auto *view = started->form.findChild<QScrollArea *>("ServicePages");
    QVERIFY(view);
    QVERIFY(started->form.frameGeometry().height() <= free);
    if (view->height() >= c().MainPageControl->height())
      QSKIP("this screen holds the whole pages");
    QVERIFY(view->verticalScrollBar()->isVisible());
    c().MainPageControl->setCurrentWidget(c().PageISPCtrl);
    for (QWidget *control : {c().btnReadBack, c().Button1, c().btnUSBISPAuto}) {
      view->ensureWidgetVisible(control);
      const QRect shown(control->mapTo(view->viewport(), QPoint()), control->size());
      QVERIFY2(view->viewport()->rect().contains(shown), qPrintable(control->objectName()));
    }
  }

  // A notice (a refused close) sits below the pages, not across their frame.
  void theNoticeSitsBelowThePages() {
    PressToggle();
    started->state.monitor.ActionRunning = true;
    QVERIFY(!started->form.close());
    started->state.monitor.ActionRunning = false;
    auto *notice = started->form.findChild<QLabel *>("lblBusyNotice");
    QVERIFY(notice && notice->isVisible());
    auto *view = started->form.findChild<QScrollArea *>("ServicePages");
    QVERIFY(notice->geometry().top() > view->geometry().bottom());
    QVERIFY(notice->geometry().bottom() < started->form.height());
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
