#include "chip_test_rig.h"
#include "panels/ChipParameterMailbox.h"
#include "panels/ParameterExchange.h"
#include "usb_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace orvane {
namespace {

// Bank 0 of a device running its firmware, as far as the parameter
// mailbox goes: a command written to 0x90 is done at once.
class MailboxFirmware {
public:
  TransferResult Control(const SetupPacket &setup, uint8_t *data) {
    if (setup.length != 1 || setup.index > 0xFF)
      return {TransferStatus::Stalled, 0};
    const auto reg = static_cast<uint8_t>(setup.index);
    if (setup.isIn()) {
      data[0] = registers[reg];
    } else {
      registers[reg] = data[0];
      if (reg == 0x90 && data[0] == 0x10)
        Run();
    }
    return {TransferStatus::Completed, 1};
  }

  std::array<uint8_t, 256> registers{};
  ParameterRecord record{0x00, 0x00, 0x00, 0x80};

private:
  void Run() {
    if (registers[0x91] == 0x21)
      std::copy(record.begin(), record.end(), registers.begin() + 0x93);
    registers[0x90] = 0xEE;
  }
};

// One register access on the wire: "W 93=A1" or "R 90".
std::string Step(const RecordedTransfer &transfer) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  auto hex = [](unsigned value) { return std::string{kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]}; };
  const SetupPacket &setup = transfer.setup;
  if (setup.requestType == 0x43 && setup.request == 0x90 && transfer.out.size() == 1)
    return "W " + hex(setup.index) + "=" + hex(transfer.out[0]);
  if (setup.requestType == 0xC3 && setup.request == 0x91)
    return "R " + hex(setup.index);
  return "other request " + hex(setup.request);
}

class ParameterWireTest : public ::testing::Test {
protected:
  std::vector<std::string> Steps() {
    std::vector<std::string> steps;
    for (const RecordedTransfer &transfer : rig.Wire())
      steps.push_back(Step(transfer));
    return steps;
  }

  MailboxFirmware firmware;
  ScriptedDevice device{test::Identity(0x3B5D, 0x6000),
                        [this](const SetupPacket &setup, uint8_t *data) { return firmware.Control(setup, data); }};
  test::ChipRig rig{device};
  ChipParameterMailbox mailbox{rig.chip};
};

TEST_F(ParameterWireTest, SetWritesTheRecordThenStartsTheCommandAndClearsIt) {
  SetParameterRecord(mailbox, kStartParameterRecord);
  EXPECT_EQ(Steps(), (std::vector<std::string>{"W 00=00", "W 93=A1", "W 94=00", "W 95=00", "W 96=00", "W 91=20",
                                               "W 92=00", "W 90=10", "R 90", "W 90=00"}));
  EXPECT_EQ(rig.transport.OpenConnections(), 0);
}

TEST_F(ParameterWireTest, ReadBackStartsTheCommandThenReadsTheFourDataRegisters) {
  ParameterRecord record = kStartParameterRecord;
  ReadBackParameterRecord(mailbox, record);
  EXPECT_EQ(Steps(), (std::vector<std::string>{"W 00=00", "W 91=21", "W 92=00", "W 90=10", "R 90", "R 93", "R 94",
                                               "R 95", "R 96"}));
  EXPECT_EQ(record, (ParameterRecord{0x00, 0x00, 0x00, 0x80}));
}

TEST_F(ParameterWireTest, ReadBackFromAGoneDeviceKeepsTheRecord) {
  device.SetPresent(false);
  ParameterRecord record{0x35, 0x40, 0x07, 0x80};
  ReadBackParameterRecord(mailbox, record);
  EXPECT_EQ(record, (ParameterRecord{0x35, 0x40, 0x07, 0x80}));
}

TEST_F(ParameterWireTest, VendorIdentifierTextGoesAsCharacterCodes) {
  ASSERT_TRUE(SendDeviceIdentifier(mailbox, DeviceIdentifier::Vendor, "3b50").sent);
  EXPECT_EQ(Steps(), (std::vector<std::string>{"W 00=00", "W 93=33", "W 94=62", "W 95=35", "W 96=30", "W 91=08",
                                               "W 92=00", "W 90=10", "R 90", "W 90=00"}));
}

TEST_F(ParameterWireTest, EightCharacterStringGoesAsTwoNumberedChunks) {
  ASSERT_TRUE(SendDescriptorString(mailbox, rig.clock, DescriptorString::ModelName, "UAC2 DAC").sent);
  EXPECT_EQ(Steps(),
            (std::vector<std::string>{"W 00=00", "W 93=08", "W 94=55", "W 95=41", "W 96=43", "W 97=32", "W 98=20",
                                      "W 99=44", "W 9A=41", "W 91=14", "W 92=00", "W 90=10", "R 90",    "W 90=00",
                                      "W 00=00", "W 93=43", "W 91=14", "W 92=01", "W 90=10", "R 90",    "W 90=00"}));
}

} // namespace
} // namespace orvane
