#pragma once

#include "app/ActionLocks.h"
#include "app/Dialogs.h"
#include "program/MessagePump.h"
#include "program/ProgramState.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <unordered_map>

class QAbstractButton;

namespace Ui {
class TForm1;
}

namespace orvane {

class PanelFoot;
class ServiceViewLayout;

// The main window. Handlers turn widget state into calls on the objects
// below the window and turn their results back into captions and colours.
// Controls carry their Unit1.ui names as objectName; handlers that look a
// control up by name use findChild.
class TForm1 : public QWidget {
  Q_OBJECT

public:
  TForm1(ProgramState &state, Dialogs &dialogs, QWidget *parent = nullptr);
  ~TForm1() override;

  ProgramState &State() { return state_; }
  Ui::TForm1 &Controls() { return *ui_; }
  QTimer *Timer1() { return timer1_; }
  // Shows or hides the engineering pages (Ctrl+Shift+E).
  void SetServiceView(bool on);
  bool ServiceView() const { return serviceView_; }

  // --- start-up and shut-down
  void FormCreate(QObject *Sender);
  void FormClose(QObject *Sender);

  // --- connection monitor
  void Timer1Timer(QObject *Sender);
  void chkDetectUSBClick(QObject *Sender);

  // --- information page
  void btnUpdateStatusClick(QObject *Sender);
  void btnHIDClick(QObject *Sender);

  // --- image files
  void USBLoadFileBitBtnClick(QObject *Sender);
  void ReadProgramFile1();
  // Loads the file named by ImageFileName; true when it was loaded.
  bool ReadProgramFile();
  // A file or folder the user named (argument or drop) becomes where the
  // update file comes from, and a found device gets it at once. Returns
  // why it was not taken; empty when it was.
  QString UseUpdateSource(const QString &path);

  // --- ISP page
  void btnEnterISPClick(QObject *Sender);
  void btnUSBChipIDClick(QObject *Sender);
  void btnUSBReadStatusClick(QObject *Sender);
  void btnUSBWriteEnableClick(QObject *Sender);
  void btnUSBWriteDisableClick(QObject *Sender);
  void lbledtUSBWriteStatusKeyDown(QObject *Sender, int &Key);
  void btnUSBEraseClick(QObject *Sender);
  void btnUSBBlankClick(QObject *Sender);
  void btnUSBProgramClick(QObject *Sender);
  void btnUSBVerifyClick(QObject *Sender);
  void rbnRangeClick(QObject *Sender);
  void lbledISPStartKeyDown(QObject *Sender, int &Key);
  void btnUSBISPAutoClick(QObject *Sender);
  void btnSimpleAutoClick(QObject *Sender);
  void btnReadBackClick(QObject *Sender);

  // --- register page
  void btnReadAllClick(QObject *Sender);
  void RegStringGridKeyDown(QObject *Sender, int &Key);
  void RegStringGridSelectCell(QObject *Sender, int ACol, int ARow, bool &CanSelect);
  void chkBit0MouseUp(QObject *Sender);

  // --- I2C page and the special I2C group
  void MainPageControlChange(QObject *Sender);
  void btnReadMI2CClick(QObject *Sender);
  void edtMI2CAddrKeyDown(QObject *Sender, int &Key);
  void chkMI2CBitMouseUp(QObject *Sender);
  void StringGridMIICKeyDown(QObject *Sender, int &Key);
  void StringGridMIICSelectCell(QObject *Sender, int ACol, int ARow, bool &CanSelect);
  void srblen0Change(QObject *Sender);
  void srblen1Change(QObject *Sender);
  void btnWriteSpecI2CClick(QObject *Sender);
  void btnReadSpecI2CClick(QObject *Sender);
  void edtMI2CAddr1KeyDown(QObject *Sender, int &Key);

  // --- parameter page
  void lbledSysVIDPIDKeyDown(QObject *Sender, int &Key);
  void btnReadParaClick(QObject *Sender);
  void btnSetParaClick(QObject *Sender);
  void lbledSysStrKeyDown(QObject *Sender, int &Key);
  void rbnI2SlenClick(QObject *Sender);
  void rbnSPDIFlenClick(QObject *Sender);
  void rbnDSDOutClick(QObject *Sender);
  void rbnMCLKOutFreqClick(QObject *Sender);
  void rbnI2SFormatClick(QObject *Sender);
  void chkI2SLRSwapClick(QObject *Sender);
  void chkDSDLRSwapClick(QObject *Sender);
  void chkMCLKOutOffClick(QObject *Sender);
  void chkI2SOutOffClick(QObject *Sender);
  void chkSPDIFOutOffClick(QObject *Sender);
  void ShowParameterRecord();

  // --- image editing page
  void btnSaveBitBinClick(QObject *Sender);
  void btnSaveBinClick(QObject *Sender);
  void btnCheckClick(QObject *Sender);
  void CurrentFileBitBtnClick(QObject *Sender);
  void ReadModifyFile(const std::string &fileName);

  // Runs a handler; an exception that escapes it is reported the way the
  // toolkit's default handler does, and the message loop goes on.
  void Guarded(const std::function<void()> &handler);

  // Binding helpers for the Bind<Page>() functions; every handler runs
  // through Guarded with the control as Sender.
  using ClickHandler = std::function<void(QObject *Sender)>;
  using KeyDownHandler = std::function<void(QObject *Sender, int &Key)>;
  // Buttons run the handler on a click. Check boxes run it whenever their
  // state changes, by the user or from code; radio buttons whenever they
  // become selected.
  void OnClick(QAbstractButton *control, ClickHandler handler);
  // Key presses in the control reach the handler with the key codes of
  // app/VirtualKeys.h (keys without a code are not passed on). For a grid
  // this includes presses in its cell editor, whose text is written to
  // the current cell first on Enter, Insert and Delete; Sender is then the grid. Setting Key to 0
  // keeps the key from the control.
  void OnKeyDown(QWidget *control, KeyDownHandler handler);

protected:
  void closeEvent(QCloseEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  // Each page's file binds its own handlers to its controls.
  void BindShell();
  void BindMonitor();
  void BindImageFiles();
  void BindUpdateSource();
  void BindIspPage();
  void BindSequences();
  void BindInformationPage();
  void BindRegisterPage();
  void BindI2cPage();
  void BindParameterPage();
  void BindImageEditPage();

  bool DeliverKeyDown(QObject *watched, QEvent *event);
  // Blank Check, Program or Verify over the page's span (an IspStep).
  void RunIspStepButton(int step);

  std::unique_ptr<Ui::TForm1> ui_;
  ProgramState &state_;
  Dialogs &dialogs_;
  QTimer *timer1_ = nullptr;
  bool serviceView_ = false;
  std::unique_ptr<ServiceViewLayout> serviceLayout_;
  std::unordered_map<QObject *, KeyDownHandler> keyDownHandlers_;

public:
  Dialogs &UiDialogs() { return dialogs_; }
  MessagePump &Pump() { return *pump_; }
  // Greys the controls that must wait for a running device action.
  ActionLocks &Locks() { return locks_; }
  // The strip below the update panel: progress, or the reason line.
  PanelFoot &Foot() { return *foot_; }

private:
  // While a device action runs, nothing may change the image it works on
  // and no flash step may start.
  void DeviceActionChanged(bool running);
  bool ImageLocked() const { return state_.monitor.ActionRunning; }

  std::unique_ptr<MessagePump> pump_;
  ActionLocks locks_;
  std::unique_ptr<PanelFoot> foot_;
};

} // namespace orvane
