#include "panels/ConvertError.h"
#include "panels/DeviceActionGuard.h"
#include "panels/RegisterPanel.h"
#include "register_bench.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace orvane {
namespace {

using Lines = std::vector<std::string>;

class RecordingRegisterView final : public RegisterPanelView {
public:
  void ShowCell(uint8_t address, uint8_t value) override {
    cells[address] = value;
    ++cellUpdates;
  }
  void ShowBits(uint8_t value) override { bits = value; }
  void ShowAddress(const std::string &text) override { address = text; }
  void ShowData(const std::string &text) override { data = text; }
  void ShowReading(bool on) override { reading.push_back(on); }
  void ProcessMessages() override {
    if (onMessages)
      onMessages();
  }

  std::map<uint8_t, uint8_t> cells;
  int cellUpdates = 0;
  int bits = -1;
  std::string address = "Reg 0x00";
  std::string data = "= 0x00";
  std::vector<bool> reading;
  std::function<void()> onMessages;
};

class RegisterPanelTest : public ::testing::Test {
protected:
  RegisterPanelTest() {
    for (int a = 1; a < 256; ++a)
      bench.registers.At(0, static_cast<uint8_t>(a)) = static_cast<uint8_t>(a ^ 0x5A);
  }

  uint64_t ElapsedUs(uint64_t since) const { return bench.clock.NowUs() - since; }

  test::RegisterBench bench;
  RecordingRegisterView view;
  RegisterPanel panel{bench.chip, bench.state.monitor, bench.state.registers, view};
};

// --- Read Bank

TEST_F(RegisterPanelTest, ReadBankReadsAll256RegistersRowByRowIntoTheGrid) {
  int turns = 0;
  view.onMessages = [&] {
    ++turns;
    EXPECT_TRUE(bench.state.monitor.ActionRunning);
  };
  panel.ReadBank();

  Lines expected;
  for (int a = 0; a < 256; ++a) {
    char line[8];
    std::snprintf(line, sizeof line, "R %02X", a);
    expected.emplace_back(line);
  }
  EXPECT_EQ(bench.Traffic(), expected);
  ASSERT_EQ(view.cells.size(), 256u);
  EXPECT_EQ(view.cells[0x00], 0x00); // the bank select reads back the bank
  EXPECT_EQ(view.cells[0x01], 0x5B);
  EXPECT_EQ(view.cells[0xFF], 0xA5);
  EXPECT_EQ(panel.Shadow(0x80), 0xDA);
  EXPECT_EQ(turns, 256);
  EXPECT_EQ(view.reading, (std::vector<bool>{true, false}));
  EXPECT_FALSE(bench.state.registers.reading);
  EXPECT_FALSE(bench.state.monitor.ActionRunning);
  EXPECT_FALSE(bench.state.usb.HasHandle());
  EXPECT_EQ(bench.device.OpenConnections(), 0);
}

TEST_F(RegisterPanelTest, StopWorksWhenTheDeviceWentAwayDuringTheRead) {
  view.onMessages = [&] {
    if (view.cells.size() == 3) {
      bench.state.usb.ClearFound();
      panel.ReadBank();
    }
  };
  panel.ReadBank();
  EXPECT_EQ(view.cells.size(), 3u);
  EXPECT_FALSE(bench.state.registers.reading);
}

TEST_F(RegisterPanelTest, TheOtherActionsOfThePageAreRefusedWhileABankIsRead) {
  bench.state.registers.shadow[0x42] = 0x10;
  view.onMessages = [&] {
    if (view.cells.size() != 0x10)
      return;
    view.onMessages = nullptr;
    panel.SelectRegister(0x42);
    panel.EnterValue(0x42, "77");
    panel.StepUp(0x42);
    panel.StepDown(0x42);
    panel.WriteBits(0x42, {true, true, true, true, true, true, true, true});
    panel.ReadBank(); // this one is the "Stop" click and is still served
  };
  panel.ReadBank();
  const Lines traffic = bench.Traffic();
  ASSERT_EQ(traffic.size(), 0x10u);
  EXPECT_EQ(traffic.back(), "R 0F");
  EXPECT_EQ(bench.registers.At(0, 0x42), 0x42 ^ 0x5A);
  // The refused bit click shows the register's known value again.
  EXPECT_EQ(view.bits, 0x10);
  EXPECT_EQ(view.address, "Reg 0x42");
  EXPECT_EQ(view.data, "= 0x10");
}

TEST_F(RegisterPanelTest, ReadBankIsRefusedWhileAnotherDeviceActionRuns) {
  const DeviceActionGuard other(bench.state.monitor);
  panel.ReadBank();
  EXPECT_TRUE(bench.transport.Transfers().empty());
  EXPECT_TRUE(view.reading.empty());
  EXPECT_FALSE(bench.state.registers.reading);
}

TEST_F(RegisterPanelTest, AFailedReadKeepsTheLastKnownValue) {
  bench.state.registers.shadow[0x07] = 0x33;
  bench.registers.failing = {0x07};
  panel.ReadBank();
  EXPECT_EQ(view.cells[0x07], 0x33);
  EXPECT_EQ(view.cells[0x08], 0x08 ^ 0x5A);
}

// --- cell selection

TEST_F(RegisterPanelTest, SelectingWithoutADeviceStillNamesTheRegisterAndShowsItsKnownValue) {
  bench.transport.Detach("chip");
  bench.state.registers.shadow[0x3C] = 0x81;
  panel.SelectRegister(0x3C);
  EXPECT_EQ(view.address, "Reg 0x3C");
  EXPECT_EQ(view.data, "= 0x81");
  EXPECT_EQ(view.cells[0x3C], 0x81);
  EXPECT_EQ(view.bits, 0x81);
}

TEST_F(RegisterPanelTest, SelectingRegisterZeroReadsTheBankSelect) {
  bench.registers.bank = 0x0E;
  panel.SelectRegister(0x00);
  EXPECT_EQ(view.data, "= 0x0E");
}

// --- keys in the grid

TEST_F(RegisterPanelTest, TheCellShowsWhatTheDeviceAnswersAfterTheWrite) {
  bench.registers.afterWrite = [&](uint8_t, uint8_t address, uint8_t value) {
    if (address == 0x30)
      bench.registers.At(0, 0x30) = value & 0x0F; // only the low nibble sticks
  };
  const uint64_t start = bench.clock.NowUs();
  panel.EnterValue(0x30, "a7");
  EXPECT_EQ(bench.Traffic(), (Lines{"W 30=A7", "R 30"}));
  EXPECT_EQ(ElapsedUs(start), 1000u);
  EXPECT_EQ(view.cells[0x30], 0x07);
  EXPECT_EQ(view.bits, 0x07);
  EXPECT_EQ(panel.Shadow(0x30), 0x07);
  // The labels keep showing the register last selected.
  EXPECT_EQ(view.address, "Reg 0x00");
}

TEST_F(RegisterPanelTest, TextThatIsNoHexadecimalNumberIsRefusedWithTheToolkitErrorAndNothingIsWritten) {
  for (const char *text : {"", "G1", "0x12", " 12", "-", "123456789"}) {
    try {
      panel.EnterValue(0x21, text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const ConvertError &e) {
      EXPECT_EQ(std::string(e.what()), std::string("'0x") + text + "' is not a valid integer value");
    }
    EXPECT_FALSE(bench.state.monitor.ActionRunning);
  }
  EXPECT_TRUE(bench.transport.Transfers().empty());
  EXPECT_TRUE(view.cells.empty());
  EXPECT_EQ(bench.device.OpenConnections(), 0);
}

TEST_F(RegisterPanelTest, InsertAndDeleteStepTheKnownValue) {
  bench.state.registers.shadow[0x44] = 0x41;
  panel.StepUp(0x44);
  EXPECT_EQ(bench.Traffic(), (Lines{"W 44=42", "R 44"}));
  EXPECT_EQ(view.cells[0x44], 0x42);
  bench.transport.ClearTransfers();
  panel.StepDown(0x44);
  panel.StepDown(0x44);
  EXPECT_EQ(bench.Traffic(), (Lines{"W 44=41", "R 44", "W 44=40", "R 44"}));
  EXPECT_EQ(view.cells[0x44], 0x40);
  EXPECT_EQ(view.bits, 0x40);
}

TEST_F(RegisterPanelTest, AWriteThatDidNotGoThroughLeavesTheKnownValue) {
  bench.state.registers.shadow[0x60] = 0x12;
  bench.registers.failing = {0x60};
  panel.EnterValue(0x60, "34");
  EXPECT_EQ(view.cells[0x60], 0x12);
  EXPECT_EQ(view.bits, 0x12);

  // A write that went through is what is known when only the read-back fails.
  bench.registers.failing.clear();
  bench.registers.afterWrite = [&](uint8_t, uint8_t, uint8_t) { bench.registers.failing = {0x60}; };
  panel.EnterValue(0x60, "34");
  EXPECT_EQ(view.cells[0x60], 0x34);
}

// --- bit boxes

TEST_F(RegisterPanelTest, RegisterZeroWrittenFromThePageSwitchesTheBankOfLaterReads) {
  bench.registers.At(0x0E, 0x10) = 0xC4;
  panel.EnterValue(0x00, "0E");
  panel.SelectRegister(0x10);
  EXPECT_EQ(bench.Traffic(), (Lines{"W 00=0E", "R 00", "R 10"}));
  EXPECT_EQ(view.data, "= 0xC4");
}

} // namespace
} // namespace orvane
