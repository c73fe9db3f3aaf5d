#include "app/MouseUpRelay.h"
#include "app/StringGrid.h"
#include "app/Unit1.h"
#include "app/VirtualKeys.h"
#include "isp/HexText.h"
#include "panels/RegisterPanel.h"
#include "ui_Unit1.h"

#include <QCheckBox>

namespace orvane {
namespace {

constexpr int kGridSide = 16;
const QColor kSilver(0xC0, 0xC0, 0xC0);

QCheckBox *BitBox(TForm1 &form, int bit) {
  return form.findChild<QCheckBox *>(QStringLiteral("chkBit%1").arg(bit));
}

// The register of a grid cell; false for the header cells.
bool RegisterOfCell(int col, int row, uint8_t &address) {
  if (col < 1 || col > kGridSide || row < 1 || row > kGridSide)
    return false;
  address = static_cast<uint8_t>((row - 1) * kGridSide + col - 1);
  return true;
}

// The selected row's and column's headers on silver, the others plain.
void HighlightHeaders(QTableWidget &grid, int col, int row) {
  const QColor buttonFace = grid.palette().color(QPalette::Button);
  for (int i = 1; i <= kGridSide; ++i) {
    if (QTableWidgetItem *rowHeader = grid.item(i, 0))
      rowHeader->setBackground(i == row ? kSilver : buttonFace);
    if (QTableWidgetItem *colHeader = grid.item(0, i))
      colHeader->setBackground(i == col ? kSilver : buttonFace);
  }
}

class RegisterPageView final : public RegisterPanelView {
public:
  explicit RegisterPageView(TForm1 &form) : form_(form), c_(form.Controls()) {}

  void ShowCell(uint8_t address, uint8_t value) override {
    ShowCellValue(*c_.RegStringGrid1, address % kGridSide + 1, address / kGridSide + 1,
                  QString::fromStdString(Hex2(value)));
  }
  void ShowBits(uint8_t value) override {
    for (int bit = 0; bit < 8; ++bit)
      if (QCheckBox *box = BitBox(form_, bit))
        box->setChecked((value >> bit) & 1);
  }
  void ShowAddress(const std::string &text) override { c_.lblRegAddr->setText(QString::fromStdString(text)); }
  void ShowData(const std::string &text) override { c_.lblRegData->setText(QString::fromStdString(text)); }
  void ShowReading(bool reading) override {
    c_.btnReadAll->setText(reading ? "Stop" : "Read Bank");
    c_.btnReadAll->setProperty("tag", reading ? 1 : 0);
    // Greyed with the other device actions, but it stops its own read.
    if (reading)
      form_.Locks().Free(c_.btnReadAll);
  }
  void ProcessMessages() override { form_.Pump().ProcessMessages(); }

private:
  TForm1 &form_;
  Ui::TForm1 &c_;
};

// The page's logic on the program's device and state, reporting to the window.
struct RegisterPage {
  explicit RegisterPage(TForm1 &form)
      : chip(form.State().usb, form.State().clock, form.State().flash.FlashId), view(form),
        panel(chip, form.State().monitor, form.State().registers, view) {}

  ChipCommands chip;
  RegisterPageView view;
  RegisterPanel panel;
};

} // namespace

void TForm1::BindRegisterPage() {
  Ui::TForm1 &c = *ui_;
  c.btnReadAll->setProperty("tag", 0);

  OnClick(c.btnReadAll, [this](QObject *sender) { btnReadAllClick(sender); });
  connect(c.RegStringGrid1, &QTableWidget::currentCellChanged, this, [this](int row, int col, int, int) {
    Guarded([&] {
      bool canSelect = true;
      RegStringGridSelectCell(ui_->RegStringGrid1, col, row, canSelect);
    });
  });
  OnKeyDown(c.RegStringGrid1, [this](QObject *sender, int &key) { RegStringGridKeyDown(sender, key); });
  auto *bitRelay = new MouseUpRelay(this, [this](QObject *sender) { Guarded([&] { chkBit0MouseUp(sender); }); });
  for (int bit = 0; bit < 8; ++bit)
    if (QCheckBox *box = BitBox(*this, bit))
      bitRelay->Watch(*box);
}

void TForm1::btnReadAllClick(QObject *) {
  RegisterPage(*this).panel.ReadBank();
}

void TForm1::RegStringGridSelectCell(QObject *, int ACol, int ARow, bool &CanSelect) {
  CanSelect = true;
  uint8_t address = 0;
  if (!RegisterOfCell(ACol, ARow, address))
    return;
  HighlightHeaders(*ui_->RegStringGrid1, ACol, ARow);
  RegisterPage(*this).panel.SelectRegister(address);
}

void TForm1::RegStringGridKeyDown(QObject *, int &Key) {
  QTableWidget &grid = *ui_->RegStringGrid1;
  uint8_t address = 0;
  if (!RegisterOfCell(grid.currentColumn(), grid.currentRow(), address))
    return;
  const int key = Key;
  if (key != vk::Return && key != vk::Insert && key != vk::Delete)
    return;
  // The key acted on the register; the cell editor must not take it too.
  Key = 0;
  RegisterPage page(*this);
  if (key == vk::Return)
    page.panel.EnterValue(address, Cell(grid, grid.currentColumn(), grid.currentRow()).toStdString());
  else if (key == vk::Insert)
    page.panel.StepUp(address);
  else
    page.panel.StepDown(address);
}

void TForm1::chkBit0MouseUp(QObject *) {
  const QTableWidget &grid = *ui_->RegStringGrid1;
  uint8_t address = 0;
  if (!RegisterOfCell(grid.currentColumn(), grid.currentRow(), address))
    return;
  std::array<bool, 8> bits{};
  for (int bit = 0; bit < 8; ++bit)
    if (const QCheckBox *box = BitBox(*this, bit))
      bits[static_cast<size_t>(bit)] = box->isChecked();
  RegisterPage(*this).panel.WriteBits(address, bits);
}

} // namespace orvane
