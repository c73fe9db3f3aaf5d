#include "i2c_bus_model.h"
#include "panels/ConvertError.h"
#include "panels/KeyCodes.h"
#include "panels/MasterI2cPage.h"
#include "panels/RawI2cGroup.h"
#include "program/ProgramState.h"

#include <gtest/gtest.h>

#include <functional>

namespace orvane {
namespace {

class RecordingMasterView final : public MasterI2cView {
public:
  void ShowReadAllRunning(bool running) override { captions.push_back(running ? "Stop" : "Read"); }
  void ShowRegister(uint8_t reg, const std::string &text) override { cells[reg] = text; }
  void ShowBits(uint8_t value) override { bits = value; }
  void ShowRegisterAddress(const std::string &text) override { address = text; }
  void ShowRegisterData(const std::string &text) override { data = text; }
  void ProcessMessages() override {
    if (onMessages)
      onMessages();
  }

  std::vector<std::string> captions;
  std::array<std::string, 256> cells;
  int bits = -1;
  std::string address = "Reg 0x00", data = "= 0x00";
  std::function<void()> onMessages;
};

class RecordingSpecialView final : public RawI2cView {
public:
  std::string CommandText(int box) const override { return command.at(static_cast<size_t>(box)); }
  std::string DataText(int box) const override { return dataBoxes.at(static_cast<size_t>(box)); }
  void SetDataText(int box, const std::string &text) override { dataBoxes.at(static_cast<size_t>(box)) = text; }
  void ShowStatus(const std::string &text) override { status = text; }

  std::array<std::string, 5> command{"00", "00", "00", "00", "00"};
  std::array<std::string, 5> dataBoxes{"00", "00", "00", "00", "00"};
  std::string status;
};

// The program's state with the chip found on a recording transport: a
// register device at 0x20 and an EEPROM at 0xA0 on its bus.
class I2cPanelTest : public ::testing::Test, protected test::I2cChip, protected SimulatedDeviceStack {
protected:
  I2cPanelTest() {
    Plug("dev", device);
    static_cast<void>(state.usb.SetTarget("vid_3b5d&pid_6000")); // a constant that fits
    static_cast<void>(state.usb.FindDevice());                   // each test checks the outcome it relies on
    transport.ClearTransfers();
    RegisterDevice();
    Eeprom();
  }

  test::I2cBusModel::Slave &RegisterDevice() { return model.slaves[0x20]; }
  test::I2cBusModel::Slave &Eeprom() { return model.slaves[0xA0]; }
  std::vector<std::string> Steps() const { return test::RegisterSteps(transport); }
  MasterI2cPage Page() { return MasterI2cPage(state.I2cPanel(), view); }
  RawI2cGroup Special() { return RawI2cGroup(state.I2cPanel(), special); }

  ProgramState state{bus, clock};
  RecordingMasterView view;
  RecordingSpecialView special;
};

TEST_F(I2cPanelTest, SlaveAddressEntryKeepsTheLowByteAsTwoDigits) {
  EXPECT_EQ(state.i2c.I2cSlaveAddress, 0x20);
  EXPECT_EQ(Page().EnterSlaveAddress("a"), "0A");
  EXPECT_EQ(state.i2c.I2cSlaveAddress, 0x0A);
  EXPECT_EQ(Page().EnterSlaveAddress("123"), "23");
  EXPECT_EQ(state.i2c.I2cSlaveAddress, 0x23);
  EXPECT_EQ(Page().EnterSlaveAddress("A0"), "A0");
  EXPECT_EQ(state.i2c.I2cSlaveAddress, 0xA0);
}

TEST_F(I2cPanelTest, AnAddressThatDoesNotConvertIsRefusedWithTheToolkitsMessage) {
  for (const std::string text : {"zz", "", " 5", "-1"}) {
    SCOPED_TRACE(text);
    try {
      Page().EnterSlaveAddress(text);
      ADD_FAILURE() << "accepted";
    } catch (const ConvertError &e) {
      EXPECT_EQ(std::string(e.what()), "'0x" + text + "' is not a valid integer value");
    }
    EXPECT_EQ(state.i2c.I2cSlaveAddress, 0x20);
  }
  EXPECT_TRUE(transport.Transfers().empty());
}

TEST_F(I2cPanelTest, PageSetUpSelectsTheBankAndSetsUpTheMaster) {
  Page().SetUpMaster();
  EXPECT_EQ(Steps(), (std::vector<std::string>{"W00:0E", "W11:04"}));
  EXPECT_FALSE(state.usb.HasHandle());

  transport.ClearTransfers();
  state.usb.ClearFound();
  Page().SetUpMaster();
  EXPECT_TRUE(transport.Transfers().empty());
}

TEST_F(I2cPanelTest, ReadAllFillsTheGridFromTheSlaveInRisingOrder) {
  for (int n = 0; n < 256; ++n)
    RegisterDevice().memory[static_cast<size_t>(n)] = static_cast<uint8_t>(255 - n);
  Page().ReadAllClick();

  EXPECT_EQ(view.captions, (std::vector<std::string>{"Stop", "Read"}));
  EXPECT_EQ(state.i2c.ReadAllTag, 0);
  for (int n = 0; n < 256; ++n) {
    EXPECT_EQ(view.cells[static_cast<size_t>(n)], Hex2(static_cast<uint32_t>(255 - n))) << n;
    EXPECT_EQ(state.i2c.I2cRegisterMirror[static_cast<size_t>(n)], 255 - n);
  }
  // 256 one-byte reads: a pointer byte each, in rising order.
  std::vector<std::string> pointers;
  for (size_t i = 1; i + 1 < model.bus.size(); ++i)
    if (model.bus[i - 1] == "S" && model.bus[i] == "20+")
      pointers.push_back(model.bus[i + 1]);
  ASSERT_EQ(pointers.size(), 256u);
  EXPECT_EQ(pointers.front(), "00+");
  EXPECT_EQ(pointers[0x7F], "7F+");
  EXPECT_EQ(pointers.back(), "FF+");
  // The read-all leaves the labels and the bit boxes alone.
  EXPECT_EQ(view.bits, -1);
  EXPECT_EQ(view.address, "Reg 0x00");
  EXPECT_FALSE(state.usb.HasHandle());
  EXPECT_FALSE(state.monitor.ActionRunning);
}

TEST_F(I2cPanelTest, ReadAllWithoutADeviceDoesNothing) {
  state.usb.ClearFound();
  Page().ReadAllClick();
  EXPECT_TRUE(view.captions.empty());
  EXPECT_TRUE(transport.Transfers().empty());
}

TEST_F(I2cPanelTest, StopEndsTheReadAllBeforeTheNextRegister) {
  RegisterDevice().memory.fill(0x5A);
  int registersShown = 0;
  view.onMessages = [&] {
    if (++registersShown == 0x11) {
      state.usb.ClearFound(); // the monitor lost the device meanwhile
      Page().ReadAllClick();  // the click on "Stop"
    }
  };
  Page().ReadAllClick();

  EXPECT_EQ(registersShown, 0x11);
  EXPECT_EQ(view.cells[0x10], "5A");
  EXPECT_EQ(view.cells[0x11], "");
  EXPECT_EQ(state.i2c.I2cRegisterMirror[0x11], 0);
  EXPECT_EQ(view.captions, (std::vector<std::string>{"Stop", "Read", "Read"}));
  EXPECT_FALSE(state.usb.HasHandle());
}

TEST_F(I2cPanelTest, OtherActionsDuringTheReadAllLeaveTheDeviceToIt) {
  RegisterDevice().memory.fill(0x11);
  state.i2c.I2cRegisterMirror[0x40] = 0x77;
  bool tried = false;
  view.onMessages = [&] {
    if (tried)
      return;
    tried = true;
    const size_t before = transport.Transfers().size();
    Page().SetUpMaster();
    Page().GridKey(0x40, vk::Return, "99");
    Page().BitBoxesReleased(0x40, 0xFF);
    Page().SelectRegister(0x40);
    Special().Write(1, 1);
    EXPECT_EQ(transport.Transfers().size(), before);
    EXPECT_TRUE(state.usb.HasHandle());
    // The selection and the bit boxes show what the register is known to hold.
    EXPECT_EQ(view.address, "Reg 0x40");
    EXPECT_EQ(view.bits, 0x77);
    EXPECT_EQ(special.status, kSpecialI2cBusy);
  };
  Page().ReadAllClick();
  EXPECT_TRUE(tried);
  EXPECT_EQ(view.cells[0xFF], "11");
}

TEST_F(I2cPanelTest, AnAbsentSlaveLeavesTheShownValue) {
  state.i2c.I2cRegisterMirror[0x33] = 0x42;
  Page().EnterSlaveAddress("50");
  Page().SelectRegister(0x33);
  EXPECT_EQ(view.cells[0x33], "42");
  EXPECT_EQ(view.data, "= 0x42");

  // A write shows the value just entered.
  Page().GridKey(0x33, vk::Return, "9");
  EXPECT_EQ(view.cells[0x33], "09");
  EXPECT_EQ(view.bits, 0x09);
}

TEST_F(I2cPanelTest, EnterWritesTheCellAndShowsTheReadBackAfterOneMillisecond) {
  std::vector<uint64_t> readTimes;
  transport.SetLatencyHook([&](const SetupPacket &setup, const TransferResult &) {
    if (setup.request == vendor::kRegisterRead && setup.index == i2creg::kReceive)
      readTimes.push_back(clock.NowUs());
  });
  Page().GridKey(0x05, vk::Return, "3c");
  EXPECT_EQ(RegisterDevice().memory[0x05], 0x3C);
  EXPECT_EQ(view.cells[0x05], "3C");
  EXPECT_EQ(view.bits, 0x3C);
  EXPECT_EQ(readTimes, (std::vector<uint64_t>{1000}));
  // The labels stay as they were.
  EXPECT_EQ(view.address, "Reg 0x00");
  EXPECT_EQ(view.data, "= 0x00");
}

TEST_F(I2cPanelTest, InsertAndDeleteStepOnceAndSaturate) {
  Page().GridKey(0x07, vk::Insert, "7");
  EXPECT_EQ(RegisterDevice().memory[0x07], 0x08);
  EXPECT_EQ(view.cells[0x07], "08");
  Page().GridKey(0x07, vk::Delete, "08");
  EXPECT_EQ(RegisterDevice().memory[0x07], 0x07);

  transport.ClearTransfers();
  Page().GridKey(0x08, vk::Insert, "FF");
  Page().GridKey(0x09, vk::Delete, "00");
  Page().GridKey(0x0A, 'A', "12");
  EXPECT_TRUE(transport.Transfers().empty());
  EXPECT_EQ(state.i2c.I2cRegisterMirror[0x08], 0xFF);
  EXPECT_EQ(state.i2c.I2cRegisterMirror[0x0A], 0x00);
}

TEST_F(I2cPanelTest, AGridValueThatDoesNotConvertChangesNothing) {
  state.i2c.I2cRegisterMirror[0x06] = 0x44;
  EXPECT_THROW(Page().GridKey(0x06, vk::Return, "zz"), ConvertError);
  EXPECT_THROW(Page().GridKey(0x06, vk::Insert, ""), ConvertError);
  EXPECT_EQ(state.i2c.I2cRegisterMirror[0x06], 0x44);
  EXPECT_TRUE(transport.Transfers().empty());
}

TEST_F(I2cPanelTest, ABitTheSlaveDoesNotTakeShowsClearedAfterTheReadBack) {
  RegisterDevice().writable[0x05] = 0x0F;
  std::vector<uint64_t> readTimes;
  transport.SetLatencyHook([&](const SetupPacket &setup, const TransferResult &) {
    if (setup.request == vendor::kRegisterRead && setup.index == i2creg::kReceive)
      readTimes.push_back(clock.NowUs());
  });
  Page().BitBoxesReleased(0x05, 0x81);
  EXPECT_EQ(RegisterDevice().memory[0x05], 0x01);
  EXPECT_EQ(view.bits, 0x01);
  EXPECT_EQ(view.cells[0x05], "01");
  EXPECT_EQ(view.address, "Reg 0x05");
  EXPECT_EQ(view.data, "= 0x01");
  EXPECT_EQ(readTimes, (std::vector<uint64_t>{30000}));
}

TEST_F(I2cPanelTest, ByteBoxesCountByTheirFirstTwoCharacters) {
  EXPECT_EQ(RawI2cGroup::BoxByte("3c"), 0x3C);
  EXPECT_EQ(RawI2cGroup::BoxByte("5"), 0x50);
  EXPECT_EQ(RawI2cGroup::BoxByte(""), 0x00);
  EXPECT_EQ(RawI2cGroup::BoxByte("G1"), 0x01);
  EXPECT_EQ(RawI2cGroup::BoxByte("123"), 0x12);
}

TEST_F(I2cPanelTest, RawWriteSendsTheAddressThenTheBoxesInOrder) {
  special.command = {"5", "", "123", "77", "88"};
  special.dataBoxes = {"aa", "bb", "cc", "dd", "ee"};
  Special().Write(3, 2);
  EXPECT_EQ(model.bus, (std::vector<std::string>{"S", "20+", "50+", "00+", "12+", "AA+", "BB+", "P"}));
  EXPECT_EQ(special.status, kSpecialI2cDone);

  model.bus.clear();
  Special().Write(1, 1);
  EXPECT_EQ(model.bus, (std::vector<std::string>{"S", "20+", "50+", "AA+", "P"}));
}

TEST_F(I2cPanelTest, AFailedRawReadKeepsTheDataBoxesAndSaysSo) {
  Page().EnterSlaveAddress("50");
  special.dataBoxes = {"12", "34", "56", "78", "9A"};
  Special().Read(1, 5);
  EXPECT_EQ(special.dataBoxes, (std::array<std::string, 5>{"12", "34", "56", "78", "9A"}));
  EXPECT_EQ(special.status, kSpecialI2cNoAck);

  // A device that cannot be opened.
  Page().EnterSlaveAddress("A0");
  transport.Detach("dev");
  Special().Read(1, 1);
  EXPECT_EQ(special.dataBoxes[0], "12");
  EXPECT_EQ(special.status, kSpecialI2cNoDevice);
  transport.Attach("dev", device);
}

TEST_F(I2cPanelTest, TheSpecialGroupTellsAUsbFailureFromANoAcknowledge) {
  Page().EnterSlaveAddress("50"); // nobody there: every transfer goes through
  Special().Write(1, 1);
  EXPECT_EQ(special.status, kSpecialI2cNoAck);

  // The device goes once opened: its transfers fail.
  Page().EnterSlaveAddress("A0");
  transport.SetScriptHook([](const std::string &, const SetupPacket &, uint8_t *) -> std::optional<TransferResult> {
    return TransferResult{TransferStatus::Failed, 0};
  });
  special.dataBoxes = {"12", "34", "56", "78", "9A"};
  Special().Read(1, 2);
  EXPECT_EQ(special.status, kSpecialI2cTransferFailed);
  EXPECT_EQ(special.dataBoxes[0], "12");
  Special().Write(1, 1);
  EXPECT_EQ(special.status, kSpecialI2cTransferFailed);
  transport.SetScriptHook(nullptr);
}

TEST_F(I2cPanelTest, TheSpecialGroupDoesNothingWithoutADevice) {
  state.usb.ClearFound();
  Special().Write(1, 1);
  Special().Read(1, 1);
  EXPECT_TRUE(transport.Transfers().empty());
  EXPECT_EQ(special.status, "");
  EXPECT_EQ(special.dataBoxes[0], "00");
}

TEST_F(I2cPanelTest, EveryActionSelectsTheMasterBankFirst) {
  // Another page left bank 0 selected; the special group ran no set-up.
  Page().EnterSlaveAddress("A0");
  special.dataBoxes[0] = "42";
  Special().Write(1, 1);
  const auto steps = Steps();
  EXPECT_EQ(steps.front(), "W00:0E");
  EXPECT_EQ(std::count(steps.begin(), steps.end(), "W11:04"), 0);
  EXPECT_EQ(Eeprom().memory[0x00], 0x42);

  for (const auto &action :
       std::vector<std::function<void()>>{[&] { Page().ReadAllClick(); }, [&] { Page().SelectRegister(1); },
                                          [&] { Page().GridKey(1, vk::Return, "1"); },
                                          [&] { Page().BitBoxesReleased(1, 1); }, [&] { Special().Read(1, 1); }}) {
    transport.ClearTransfers();
    action();
    EXPECT_EQ(Steps().front(), "W00:0E");
    EXPECT_FALSE(state.usb.HasHandle());
  }
}

} // namespace
} // namespace orvane
