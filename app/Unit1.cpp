#include "app/Unit1.h"

#include "app/Banner.h"
#include "app/BusyNotice.h"
#include "app/FontSubstitutes.h"
#include "app/PanelFoot.h"
#include "app/ProgramIcon.h"
#include "app/QtMessagePump.h"
#include "app/ServiceViewLayout.h"
#include "app/SizeAllowance.h"
#include "app/StringGrid.h"
#include "app/VirtualKeys.h"
#include "panels/ParameterExchange.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QShortcut>
#include <QStyle>

#include <exception>
#include <vector>

namespace orvane {
namespace {

constexpr int kTimer1IntervalMs = 1000;
constexpr const char *kCloseRefusedUpdating =
    "The window stays open until the update has ended: closing now would leave the flash half written.";
constexpr const char *kCloseRefusedActing = "The window stays open until the running device action has ended.";

// The grid a cell editor belongs to, when the object is one.
QTableWidget *GridOfCellEditor(QObject *object) {
  QObject *viewport = object ? object->parent() : nullptr;
  return viewport ? qobject_cast<QTableWidget *>(viewport->parent()) : nullptr;
}

// The ISP page's steps, options and range: hidden at start-up, shown in
// the service view.
std::vector<QWidget *> IspPageHiddenControls(Ui::TForm1 &c) {
  return {c.gbxISPRange, c.chkISPMode, c.chkProtect, c.chkReadFile, c.chkErase,
          c.chkBlank,    c.chkProgram, c.chkVerify,  c.GroupBox1};
}

} // namespace

TForm1::TForm1(ProgramState &state, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TForm1>()), state_(state), dialogs_(dialogs),
      serviceLayout_(std::make_unique<ServiceViewLayout>()), pump_(std::make_unique<QtMessagePump>()) {
  InstallFontSubstitutes();
  ui_->setupUi(this);
  PinDesignFontSizes(*this);
  PrepareStringGrid(*ui_->RegStringGrid1);
  PrepareStringGrid(*ui_->StringGridMIIC);
  ui_->USBLoadFileBitBtn->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  ui_->CurrentFileBitBtn->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  ui_->btnSaveBitBin->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  ShowBanner(*ui_->Image1);
  setWindowIcon(ProgramIcon());

  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(kTimer1IntervalMs);

  BindShell();
  BindMonitor();
  BindImageFiles();
  BindUpdateSource();
  BindIspPage();
  BindSequences();
  BindInformationPage();
  BindRegisterPage();
  BindI2cPage();
  BindParameterPage();
  BindImageEditPage();

  state_.monitor.actionRunningChanged = [this](bool running) { DeviceActionChanged(running); };
  Guarded([this] { FormCreate(this); });
  // Below the top panel as start-up has left it.
  foot_ = std::make_unique<PanelFoot>(*this, *ui_->lblISPProcStatus);
  timer1_->start();
}

TForm1::~TForm1() {
  state_.monitor.actionRunningChanged = nullptr;
}

void TForm1::DeviceActionChanged(bool running) {
  if (!running) {
    locks_.Release();
    return;
  }
  Ui::TForm1 &c = *ui_;
  locks_.Hold({// what changes the image
               c.Button1, c.btnSaveBin, c.CurrentFileBitBtn, c.USBLoadFileBitBtn,
               // the update and every flash step of the ISP page
               c.btnSimpleAuto, c.btnEnterISP, c.btnUSBChipID, c.btnUSBReadStatus, c.btnUSBWriteEnable,
               c.btnUSBWriteDisable, c.lbledtUSBWriteStatus, c.btnUSBErase, c.btnUSBBlank, c.btnUSBProgram,
               c.btnUSBVerify, c.btnReadBack, c.btnUSBISPAuto,
               // the register and I2C pages' reads and bit writes
               c.btnReadAll, c.Panel2, c.btnReadMI2C, c.Panel3, c.btnWriteSpecI2C, c.btnReadSpecI2C,
               // the parameter exchanges
               c.btnReadPara, c.btnSetPara, c.lbledSysVID, c.lbledSysPID, c.lbledSysStr1, c.lbledSysStr2,
               c.lbledSysStr3,
               // the stream status and media keys
               c.btnUpdateStatus, c.btnHID0, c.btnHID1, c.btnHID2, c.btnHID3, c.btnHID4});
}

void TForm1::BindShell() {
  auto *toggle = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), this);
  toggle->setContext(Qt::WindowShortcut);
  connect(toggle, &QShortcut::activated, this, [this] { Guarded([this] { SetServiceView(!serviceView_); }); });
}

void TForm1::FormCreate(QObject *) {
  Ui::TForm1 &c = *ui_;
  const int allowance = SizeAllowance(logicalDpiX());
  setWindowTitle(QString::fromStdString(state_.caption));

  c.chkISPMode->setChecked(true);
  c.chkProtect->setChecked(false);
  for (QCheckBox *step : {c.chkReadFile, c.chkErase, c.chkBlank, c.chkProgram, c.chkVerify})
    step->setChecked(true);
  c.rbnRange0->setChecked(true);
  rbnRangeClick(this);
  c.lbledISPRange->setText("64");
  c.lbledISPStart->setText("64");

  FillRegisterHeaders(*c.RegStringGrid1);
  FillRegisterHeaders(*c.StringGridMIIC);

  c.MainPageControl->setCurrentWidget(c.TabSheet1);
  state_.monitor.DetectEnabled = false;
  state_.monitor.Busy = false;
  c.lbledtVID->setText("3b5d");
  c.lbledtPID->setText("f800");
  c.chkDetectUSB->setChecked(true); // its click handler switches the monitor on
  state_.parameters = kStartParameterRecord;
  ShowParameterRecord();

  for (QWidget *page : {c.TabSheet1, c.PageMI2CCtrl, c.Parameter, c.Information, c.BinFile})
    c.MainPageControl->setTabVisible(c.MainPageControl->indexOf(page), false);
  c.MainPageControl->hide();
  c.MainPageControl->resize(c.MainPageControl->width(), 100 + allowance);
  // The window manager puts its frame around this: the content keeps the
  // whole size, as the top panel and the strip below it need it, and no
  // smaller size would show it whole. Unit1.ui's place at (-5, 0) would
  // push the frame off the screen's edge; the window manager places the
  // window where it places others.
  setFixedSize(606 + allowance, 200 + allowance);

  for (QWidget *hidden : IspPageHiddenControls(c))
    hidden->hide();
  for (QWidget *hidden :
       std::initializer_list<QWidget *>{c.USBLoadFileBitBtn, c.cbxReadISPFile, c.chkDetectUSB, c.lbledtVID,
                                        c.lbledtVIDLabel, c.lbledtPID, c.lbledtPIDLabel, c.lblFWVer})
    hidden->hide();

  c.pnlUSB->resize(537, 120);
  QPalette panelColours = c.pnlUSB->palette();
  panelColours.setColor(QPalette::Window, panelColours.color(QPalette::Button));
  c.pnlUSB->setPalette(panelColours);
  c.pnlUSBExist->move(20, 8);
  c.lblISPProcStatus->setText(QString());
  c.btnSimpleAuto->move(424, 0);
  c.Image1->hide();
  btnSaveBinClick(this); // the built-in default image into both buffers
}

void TForm1::FormClose(QObject *) {
  if (state_.usb.IsFound())
    state_.usb.Close();
}

void TForm1::closeEvent(QCloseEvent *event) {
  // Closing now would close the handle under a running flash action and
  // leave the flash half written; every action ends by itself in bounded time.
  if (state_.monitor.ActionRunning) {
    event->ignore();
    ShowBusyNotice(*this, state_.monitor, state_.monitor.Busy ? kCloseRefusedUpdating : kCloseRefusedActing);
    return;
  }
  Guarded([this] { FormClose(this); });
  event->accept();
}

void TForm1::SetServiceView(bool on) {
  if (on == serviceView_)
    return;
  foot_->SetSimpleView(!on);
  if (on) {
    serviceLayout_->Enter(*this, *ui_->MainPageControl, *ui_->pnlUSB, SizeAllowance(logicalDpiX()),
                          IspPageHiddenControls(*ui_), BusyNoticeRoom());
  } else
    serviceLayout_->Leave(*this, *ui_->MainPageControl);
  serviceView_ = on;
}

void TForm1::Guarded(const std::function<void()> &handler) {
  try {
    handler();
  } catch (const std::exception &e) {
    dialogs_.Exception(this, QString::fromStdString(e.what()));
  } catch (...) {
    dialogs_.Exception(this, QString());
  }
}

void TForm1::OnClick(QAbstractButton *control, ClickHandler handler) {
  auto run = [this, control, handler] { Guarded([&] { handler(control); }); };
  if (qobject_cast<QRadioButton *>(control))
    connect(control, &QAbstractButton::toggled, this, [run](bool checked) {
      if (checked)
        run();
    });
  else if (qobject_cast<QCheckBox *>(control))
    connect(control, &QAbstractButton::toggled, this, run);
  else
    connect(control, &QAbstractButton::clicked, this, run);
}

void TForm1::OnKeyDown(QWidget *control, KeyDownHandler handler) {
  keyDownHandlers_[control] = std::move(handler);
  control->installEventFilter(this);
  // A grid's cell editors are created on demand inside its viewport.
  if (auto *grid = qobject_cast<QTableWidget *>(control))
    grid->viewport()->installEventFilter(this);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::ChildAdded) {
    auto *grid = qobject_cast<QTableWidget *>(watched->parent());
    if (grid && grid->viewport() == watched && keyDownHandlers_.count(grid))
      static_cast<QChildEvent *>(event)->child()->installEventFilter(this);
  }
  if (event->type() == QEvent::KeyPress && DeliverKeyDown(watched, event))
    return true;
  return QWidget::eventFilter(watched, event);
}

bool TForm1::DeliverKeyDown(QObject *watched, QEvent *event) {
  // A key the cell editor did not take travels on to the grid: it was
  // delivered in the editor already.
  if (GridOfCellEditor(QApplication::focusWidget()) == watched)
    return false;
  QTableWidget *grid = GridOfCellEditor(watched);
  QObject *control = grid && keyDownHandlers_.count(grid) ? grid : watched;
  const auto found = keyDownHandlers_.find(control);
  if (found == keyDownHandlers_.end())
    return false;
  const KeyDownHandler handler = found->second; // the handler may bind others
  int key = vk::FromQtKey(static_cast<QKeyEvent *>(event)->key());
  if (key == 0)
    return false;
  // The keys that act on the cell's value (Enter, Insert, Delete) take
  // what was typed. Only those: writing the cell resets its editor, which
  // would move the cursor on every key.
  const bool actsOnValue = key == vk::Return || key == vk::Insert || key == vk::Delete;
  if (auto *editor = qobject_cast<QLineEdit *>(watched); editor && control == grid && actsOnValue)
    SetCell(*grid, grid->currentColumn(), grid->currentRow(), editor->text());
  Guarded([&] { handler(control, key); });
  return key == 0;
}

} // namespace orvane
