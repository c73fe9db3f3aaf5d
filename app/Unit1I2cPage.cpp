#include "app/MouseUpRelay.h"
#include "app/StringGrid.h"
#include "app/Unit1.h"
#include "app/VirtualKeys.h"
#include "panels/MasterI2cPage.h"
#include "panels/RawI2cGroup.h"
#include "ui_Unit1.h"

#include <QCheckBox>
#include <QLineEdit>

namespace orvane {
namespace {

constexpr int kGridRegisters = 16; // registers per grid row and column

QString Text(const std::string &text) {
  return QString::fromStdString(text);
}

// The register a grid cell stands for; false for a header cell.
bool CellRegister(int col, int row, uint8_t &reg) {
  if (col < 1 || col > kGridRegisters || row < 1 || row > kGridRegisters)
    return false;
  reg = static_cast<uint8_t>((row - 1) * kGridRegisters + (col - 1));
  return true;
}

class WindowMasterI2cView final : public MasterI2cView {
public:
  explicit WindowMasterI2cView(TForm1 &form) : c_(form.Controls()), pump_(form.Pump()), locks_(form.Locks()) {}

  void ShowReadAllRunning(bool running) override {
    c_.btnReadMI2C->setText(running ? "Stop" : "Read");
    c_.btnReadMI2C->setProperty("Tag", running ? 1 : 0);
    // Greyed with the other device actions, but it stops its own read.
    if (running)
      locks_.Free(c_.btnReadMI2C);
  }
  void ShowRegister(uint8_t reg, const std::string &text) override {
    QTableWidget &grid = *c_.StringGridMIIC;
    const int col = reg % kGridRegisters + 1;
    const int row = reg / kGridRegisters + 1;
    ShowCellValue(grid, col, row, Text(text));
  }
  void ShowBits(uint8_t value) override {
    for (int i = 0; i < 8; ++i)
      if (auto *box = c_.Panel3->findChild<QCheckBox *>("chkMI2CBit" + QString::number(i)))
        box->setChecked((value >> i) & 1);
  }
  void ShowRegisterAddress(const std::string &text) override { c_.lblMI2CRegAddr->setText(Text(text)); }
  void ShowRegisterData(const std::string &text) override { c_.lblMI2CRegData->setText(Text(text)); }
  void ProcessMessages() override { pump_.ProcessMessages(); }

private:
  Ui::TForm1 &c_;
  MessagePump &pump_;
  ActionLocks &locks_;
};

class WindowRawI2cView final : public RawI2cView {
public:
  explicit WindowRawI2cView(Ui::TForm1 &c) : c_(c) {}

  std::string CommandText(int box) const override { return BoxText("edtI2Ccmd", box); }
  std::string DataText(int box) const override { return BoxText("edtI2Cdat", box); }
  void SetDataText(int box, const std::string &text) override {
    if (QLineEdit *edit = Box("edtI2Cdat", box))
      edit->setText(Text(text));
  }
  void ShowStatus(const std::string &text) override { c_.lblSpecI2CStatus->setText(Text(text)); }

private:
  QLineEdit *Box(const char *base, int box) const {
    return c_.GroupBox7->findChild<QLineEdit *>(base + QString::number(box));
  }
  std::string BoxText(const char *base, int box) const {
    const QLineEdit *edit = Box(base, box);
    return edit ? edit->text().toStdString() : std::string();
  }

  Ui::TForm1 &c_;
};

// Enter in a slave-address box: the address as edtMI2CAddr shows it.
void EnterSlaveAddress(TForm1 &form, const QLineEdit &box) {
  WindowMasterI2cView view(form);
  const std::string shown = MasterI2cPage(form.State().I2cPanel(), view).EnterSlaveAddress(box.text().toStdString());
  form.Controls().edtMI2CAddr->setText(Text(shown));
}

// Enables box k of a row exactly when k is below the row's length.
void EnableBoxes(QGroupBox &group, const char *base, int length) {
  for (int k = 0; k < RawI2cGroup::kMaxLength; ++k)
    if (auto *edit = group.findChild<QLineEdit *>(base + QString::number(k)))
      edit->setEnabled(k < length);
}

} // namespace

void TForm1::BindI2cPage() {
  Ui::TForm1 &c = *ui_;
  connect(c.MainPageControl, &QTabWidget::currentChanged, this,
          [this] { Guarded([this] { MainPageControlChange(ui_->MainPageControl); }); });
  OnKeyDown(c.edtMI2CAddr, [this](QObject *sender, int &key) { edtMI2CAddrKeyDown(sender, key); });
  OnKeyDown(c.edtMI2CAddr1, [this](QObject *sender, int &key) { edtMI2CAddr1KeyDown(sender, key); });
  OnClick(c.btnReadMI2C, [this](QObject *sender) { btnReadMI2CClick(sender); });
  connect(c.StringGridMIIC, &QTableWidget::currentCellChanged, this, [this](int row, int col) {
    Guarded([&] {
      bool canSelect = true;
      StringGridMIICSelectCell(ui_->StringGridMIIC, col, row, canSelect);
    });
  });
  OnKeyDown(c.StringGridMIIC, [this](QObject *sender, int &key) { StringGridMIICKeyDown(sender, key); });
  auto *mouseUp = new MouseUpRelay(this, [this](QObject *sender) { Guarded([&] { chkMI2CBitMouseUp(sender); }); });
  for (int i = 0; i < 8; ++i)
    if (auto *box = c.Panel3->findChild<QCheckBox *>("chkMI2CBit" + QString::number(i)))
      mouseUp->Watch(*box);
  connect(c.srblen0, &QScrollBar::valueChanged, this, [this] { Guarded([this] { srblen0Change(ui_->srblen0); }); });
  connect(c.srblen1, &QScrollBar::valueChanged, this, [this] { Guarded([this] { srblen1Change(ui_->srblen1); }); });
  OnClick(c.btnWriteSpecI2C, [this](QObject *sender) { btnWriteSpecI2CClick(sender); });
  OnClick(c.btnReadSpecI2C, [this](QObject *sender) { btnReadSpecI2CClick(sender); });
}

void TForm1::MainPageControlChange(QObject *) {
  if (ui_->MainPageControl->currentWidget() != ui_->PageMI2CCtrl)
    return;
  WindowMasterI2cView view(*this);
  MasterI2cPage(state_.I2cPanel(), view).SetUpMaster();
}

void TForm1::edtMI2CAddrKeyDown(QObject *, int &Key) {
  if (Key == vk::Return)
    EnterSlaveAddress(*this, *ui_->edtMI2CAddr);
}

// The address box of the special group keeps its text as typed.
void TForm1::edtMI2CAddr1KeyDown(QObject *, int &Key) {
  if (Key == vk::Return)
    EnterSlaveAddress(*this, *ui_->edtMI2CAddr1);
}

void TForm1::btnReadMI2CClick(QObject *) {
  WindowMasterI2cView view(*this);
  MasterI2cPage(state_.I2cPanel(), view).ReadAllClick();
}

void TForm1::StringGridMIICSelectCell(QObject *, int ACol, int ARow, bool &) {
  uint8_t reg = 0;
  if (!CellRegister(ACol, ARow, reg))
    return;
  QTableWidget &grid = *ui_->StringGridMIIC;
  const QColor buttonFace = grid.palette().color(QPalette::Button);
  const QColor silver(0xC0, 0xC0, 0xC0);
  for (int i = 1; i <= kGridRegisters; ++i) {
    if (QTableWidgetItem *header = grid.item(0, i))
      header->setBackground(i == ACol ? silver : buttonFace);
    if (QTableWidgetItem *header = grid.item(i, 0))
      header->setBackground(i == ARow ? silver : buttonFace);
  }
  WindowMasterI2cView view(*this);
  MasterI2cPage(state_.I2cPanel(), view).SelectRegister(reg);
}

void TForm1::StringGridMIICKeyDown(QObject *, int &Key) {
  QTableWidget &grid = *ui_->StringGridMIIC;
  const int col = grid.currentColumn();
  const int row = grid.currentRow();
  uint8_t reg = 0;
  if (!CellRegister(col, row, reg))
    return;
  WindowMasterI2cView view(*this);
  MasterI2cPage(state_.I2cPanel(), view).GridKey(reg, Key, Cell(grid, col, row).toStdString());
  // The value has been stepped: the cell editor must not delete a character as well.
  if (Key == vk::Insert || Key == vk::Delete)
    Key = 0;
}

void TForm1::chkMI2CBitMouseUp(QObject *) {
  QTableWidget &grid = *ui_->StringGridMIIC;
  uint8_t reg = 0;
  if (!CellRegister(grid.currentColumn(), grid.currentRow(), reg))
    return;
  uint8_t boxes = 0;
  for (int i = 0; i < 8; ++i)
    if (auto *box = ui_->Panel3->findChild<QCheckBox *>("chkMI2CBit" + QString::number(i)); box && box->isChecked())
      boxes = static_cast<uint8_t>(boxes | (1u << i));
  WindowMasterI2cView view(*this);
  MasterI2cPage(state_.I2cPanel(), view).BitBoxesReleased(reg, boxes);
}

void TForm1::srblen0Change(QObject *) {
  ui_->lbllencmd->setText(QString::number(ui_->srblen0->value()));
  EnableBoxes(*ui_->GroupBox7, "edtI2Ccmd", ui_->srblen0->value());
}

void TForm1::srblen1Change(QObject *) {
  ui_->lbllendat->setText(QString::number(ui_->srblen1->value()));
  EnableBoxes(*ui_->GroupBox7, "edtI2Cdat", ui_->srblen1->value());
}

void TForm1::btnWriteSpecI2CClick(QObject *) {
  WindowRawI2cView view(*ui_);
  RawI2cGroup(state_.I2cPanel(), view).Write(ui_->srblen0->value(), ui_->srblen1->value());
}

void TForm1::btnReadSpecI2CClick(QObject *) {
  WindowRawI2cView view(*ui_);
  RawI2cGroup(state_.I2cPanel(), view).Read(ui_->srblen0->value(), ui_->srblen1->value());
}

} // namespace orvane
