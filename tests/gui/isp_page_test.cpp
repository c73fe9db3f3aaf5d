#include "isp/ImageFileLoaders.h"
#include "support/SimWindow.h"

#include <QTest>

#include <algorithm>

using namespace orvane;
using namespace orvane::testing;

namespace {

// A small image with a pattern that is not erased flash.
void LoadPattern(ImageRecord &image, uint32_t length) {
  std::fill(image.ImageBuffer.begin(), image.ImageBuffer.end(), 0xFF);
  for (uint32_t i = 0; i < length; ++i)
    image.ImageBuffer[i] = static_cast<uint8_t>(i * 7 + 3);
  image.ImageLength = length;
  image.ImageReady = true;
}

} // namespace

// The ISP page's single steps, clicked by hand against the simulated chip.
class IspPageTest : public QObject {
  Q_OBJECT

  std::unique_ptr<SimWindow> w;

private slots:
  void init() {
    w = std::make_unique<SimWindow>();
    w->Open(w->c().PageISPCtrl);
  }
  void cleanup() { w.reset(); }

  void stepsByHandProgramTheFlash() {
    auto &c = w->c();
    c.btnEnterISP->click();
    QCOMPARE(c.btnEnterISP->text(), QString("Exit ISP"));
    QVERIFY(w->chip.InIspMode());

    c.btnUSBChipID->click();
    QCOMPARE(c.lblUSBChipID->text(), QString("0xC2,  0x20,  0x12,  "));

    c.btnUSBErase->click();
    QVERIFY(c.lblUSBProcessInfo->text().startsWith("Flash Erase All "));
    QVERIFY(c.lblUSBISPStatusReg->text().startsWith("Status Register: 0x"));
    QVERIFY(!w->state.flash.IspFailed);

    LoadPattern(w->state.image, 1000);
    c.btnUSBBlank->click();
    QCOMPARE(c.lblUSBProcessInfo->text(), QString("Blanking Success"));
    c.btnUSBProgram->click();
    QCOMPARE(c.lblUSBProcessInfo->text(), QString("Programming Success"));
    QCOMPARE(w->state.flash.ProgramChunkSize, uint16_t{256});
    c.btnUSBVerify->click();
    QCOMPARE(c.lblUSBProcessInfo->text(), QString("Verifying Success"));
    const auto &flash = w->chip.Flash().Contents();
    QVERIFY(std::equal(flash.begin(), flash.begin() + 1000, w->state.image.ImageBuffer.begin()));

    // A second blank check now fails at the first programmed byte.
    c.btnUSBBlank->click();
    QCOMPARE(c.lblUSBProcessInfo->text(), QString("Blanking Fail at 0x000000"));

    c.btnUSBReadStatus->click();
    QCOMPARE(c.lblUSBStatus->text(), QString("0x00"));

    c.btnEnterISP->click();
    QCOMPARE(c.btnEnterISP->text(), QString("Enter ISP"));
    QVERIFY(!w->chip.InIspMode());
  }

  void writeStatusTakesHexOnEnterAndRefusesOtherText() {
    auto &c = w->c();
    c.btnEnterISP->click();
    c.lbledtUSBWriteStatus->setText("0C");
    c.lbledtUSBWriteStatus->setFocus();
    c.btnUSBWriteEnable->click();
    w->transport.ClearTransfers();
    QTest::keyClick(c.lbledtUSBWriteStatus, Qt::Key_A); // not Enter: nothing
    QVERIFY(w->transport.Transfers().empty());
    c.lbledtUSBWriteStatus->setText("0C");
    QTest::keyClick(c.lbledtUSBWriteStatus, Qt::Key_Return);
    QVERIFY(!w->transport.Transfers().empty());
    w->clock.AdvanceUs(100'000); // the status write's own busy time
    c.btnUSBReadStatus->click();
    QCOMPARE(c.lblUSBStatus->text(), QString("0x0C"));

    w->transport.ClearTransfers();
    c.lbledtUSBWriteStatus->setText("G1");
    QTest::keyClick(c.lbledtUSBWriteStatus, Qt::Key_Return);
    QCOMPARE(w->dialogs.exceptions, QStringList{"'0xG1' is not a valid integer value"});
    QVERIFY(w->transport.Transfers().empty());
  }

  void assignedRangeProgramsFromItsStart() {
    auto &c = w->c();
    c.btnEnterISP->click();
    c.btnUSBErase->click();
    c.lbledISPStart->setText("64");
    c.lbledISPRange->setText("64");
    c.rbnRange1->setChecked(true);
    QCOMPARE(w->state.flash.RangeStart, 0x10000u);
    QCOMPARE(w->state.flash.RangeSize, 0x10000u);
    LoadPattern(w->state.image, 1000);
    c.btnUSBProgram->click();
    c.btnUSBVerify->click();
    QCOMPARE(c.lblUSBProcessInfo->text(), QString("Verifying Success"));
    const auto &flash = w->chip.Flash().Contents();
    QCOMPARE(flash[0x10000], w->state.image.ImageBuffer[0]);
    QCOMPARE(flash[0x10000 + 999], w->state.image.ImageBuffer[999]);
    QCOMPARE(flash[0], uint8_t{0xFF});

    // A bad range text is refused with the conversion error.
    c.lbledISPStart->setText("x");
    c.rbnRange0->setChecked(true);
    c.rbnRange1->setChecked(true);
    QVERIFY(w->dialogs.exceptions.contains("'x' is not a valid integer value"));
    // A start that would wrap the 24-bit flash address is refused too.
    c.lbledISPStart->setText("4194368");
    c.rbnRange0->setChecked(true);
    c.rbnRange1->setChecked(true);
    QVERIFY(w->dialogs.exceptions.contains("'4194368' is not a valid range in kilobytes"));
    QCOMPARE(w->state.flash.RangeStart, 0u);
  }

  void anEraseThatNeverEndsFailsAndTheButtonsStayGreyMeanwhile() {
    auto &c = w->c();
    c.btnEnterISP->click();
    w->chip.Flash().Faults().HangNextOperation();
    // While the erase waits the loop turns: a click on Program must do nothing.
    bool sawGrey = false;
    int clicks = 0;
    QTimer poke;
    connect(&poke, &QTimer::timeout, [&] {
      if (!c.btnUSBProgram->isEnabled())
        sawGrey = true;
      if (clicks++ == 0)
        w->form.btnUSBProgramClick(c.btnUSBProgram);
    });
    poke.start(0);
    c.btnUSBErase->click();
    poke.stop();
    QCOMPARE(c.lblUSBProcessInfo->text(), QString("Erase Flash Fail"));
    QVERIFY(w->state.flash.IspFailed);
    QVERIFY(sawGrey);
    QVERIFY(c.btnUSBProgram->isEnabled());
    // No page program reached the flash during the wait.
    QCOMPARE(w->state.flash.ProgramChunkSize, uint16_t{0});
  }

  void theStepsGiveTheButtonsBackAsTheyWere() {
    auto &c = w->c();
    c.btnEnterISP->click();
    c.btnReadBack->setEnabled(false);
    QList<QWidget *> greyed;
    QTimer look;
    connect(&look, &QTimer::timeout, [&] {
      for (QWidget *button : {static_cast<QWidget *>(c.btnUSBISPAuto), static_cast<QWidget *>(c.btnUSBBlank),
                              static_cast<QWidget *>(c.btnUSBChipID)})
        if (!button->isEnabled() && !greyed.contains(button))
          greyed << button;
    });
    look.start(0);
    LoadPattern(w->state.image, 4096);
    c.btnUSBBlank->click();
    look.stop();
    QCOMPARE(greyed.size(), 3);
    QVERIFY(c.btnUSBISPAuto->isEnabled());
    QVERIFY(c.btnUSBBlank->isEnabled());
    QVERIFY(!c.btnReadBack->isEnabled());
  }

  void aRangeBeyondTheFlashAddressSpaceIsRefusedBeforeAnythingIsSent() {
    auto &c = w->c();
    c.btnEnterISP->click();
    c.lbledISPStart->setText("16380");
    c.lbledISPRange->setText("8");
    c.rbnRange1->setChecked(true);
    QCOMPARE(w->state.flash.RangeStart, 16380u * 1024u);
    LoadPattern(w->state.image, 8192);
    w->transport.ClearTransfers();
    c.lblUSBProcessInfo->setText("Status:");
    for (QAbstractButton *step : {c.btnUSBErase, c.btnUSBBlank, c.btnUSBProgram, c.btnUSBVerify})
      step->click();
    QCOMPARE(w->dialogs.messages, QStringList(4, "Dialog: Flash Access Range beyond 16 MB !!    "));
    QVERIFY(w->transport.Transfers().empty());
    QCOMPARE(c.lblUSBProcessInfo->text(), QString("Status:"));

    // A count beyond 16 MB is no range at all.
    c.lbledISPStart->setText("16385");
    c.rbnRange0->setChecked(true);
    c.rbnRange1->setChecked(true);
    QCOMPARE(w->dialogs.exceptions, QStringList{"'16385' is not a valid range in kilobytes"});
    QCOMPARE(w->state.flash.RangeStart, 0u); // as "All" left it
  }
};

QTEST_MAIN(IspPageTest)
#include "isp_page_test.moc"
