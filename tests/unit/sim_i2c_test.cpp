#include "sim_wire.h"

#include <gtest/gtest.h>

namespace orvane::sim {
namespace {

using namespace wire;

// The host's side of the I2C master registers of bank 0x0E.
class I2cHost {
public:
  explicit I2cHost(ChipSimulator &chip) : chip_(chip) {
    WriteRegister(chip_, 0x00, 0x0E);
    WriteRegister(chip_, 0x11, 4);
  }
  void Start() { WriteRegister(chip_, 0x10, 0xC0); }
  void Stop() { WriteRegister(chip_, 0x10, 0xA0); }
  bool WaitDone() {
    for (int i = 0; i < 20; ++i)
      if (ReadRegister(chip_, 0x10) & 0x01)
        return true;
    return false;
  }
  bool WriteByte(uint8_t value) {
    WriteRegister(chip_, 0x14, 1);
    WriteRegister(chip_, 0x12, value);
    WaitDone();
    return (ReadRegister(chip_, 0x10) & 0x08) == 0;
  }
  uint8_t ReadByte(bool last) {
    WriteRegister(chip_, 0x10, last ? 0x90 : 0x80);
    WriteRegister(chip_, 0x14, 3);
    WaitDone();
    return ReadRegister(chip_, 0x13);
  }
  bool Write(uint8_t device, uint8_t reg, const std::vector<uint8_t> &data) {
    Start();
    if (!WriteByte(device)) {
      Stop();
      return false;
    }
    WriteByte(reg);
    for (uint8_t b : data)
      WriteByte(b);
    Stop();
    return true;
  }
  std::optional<std::vector<uint8_t>> Read(uint8_t device, uint8_t reg, size_t count) {
    Start();
    if (!WriteByte(device) || !WriteByte(reg)) {
      Stop();
      return std::nullopt;
    }
    Start();
    if (!WriteByte(device | 1)) {
      Stop();
      return std::nullopt;
    }
    std::vector<uint8_t> out;
    for (size_t i = 0; i < count; ++i)
      out.push_back(ReadByte(i + 1 == count));
    Stop();
    return out;
  }

private:
  ChipSimulator &chip_;
};

class I2cTest : public ::testing::Test {
protected:
  VirtualClock clock;
  ChipSimulator chip{clock};
  I2cHost host{chip};
};

TEST_F(I2cTest, EepromWritesThenHoldsOffUntilItsWriteCycleEnds) {
  ASSERT_TRUE(host.Write(0xA0, 0x05, {0x11, 0x22, 0x33}));
  EXPECT_TRUE(chip.Eeprom().InWriteCycle());
  host.Start();
  EXPECT_FALSE(host.WriteByte(0xA0)) << "no acknowledge during the write cycle";
  host.Stop();
  clock.SleepMs(5);
  const auto read = host.Read(0xA0, 0x05, 3);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, (std::vector<uint8_t>{0x11, 0x22, 0x33}));
  EXPECT_EQ(chip.Eeprom().Bytes()[0x05], 0x11);
}

TEST_F(I2cTest, EepromPageWriteRollsOverInsideItsPage) {
  ASSERT_TRUE(host.Write(0xA0, 0x0E, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  const auto &bytes = chip.Eeprom().Bytes();
  EXPECT_EQ(bytes[0x0E], 9);
  EXPECT_EQ(bytes[0x0F], 10);
  EXPECT_EQ(bytes[0x08], 3);
  EXPECT_EQ(bytes[0x0D], 8);
  EXPECT_EQ(bytes[0x10], 0xFF) << "the next page is untouched";
}

TEST_F(I2cTest, EepromReadCountsOnAcrossPagesAndWrapsAtTheEnd) {
  std::vector<uint8_t> content(256);
  for (size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<uint8_t>(i ^ 0x5A);
  chip.Eeprom().Load(0, content.data(), content.size());
  const auto read = host.Read(0xA0, 0xFE, 4);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, (std::vector<uint8_t>{content[0xFE], content[0xFF], content[0x00], content[0x01]}));
  // A current-address read continues from where the last one stopped.
  host.Start();
  ASSERT_TRUE(host.WriteByte(0xA1));
  EXPECT_EQ(host.ReadByte(true), content[0x02]);
  host.Stop();
}

TEST_F(I2cTest, NobodyAnswersAnAbsentAddressOrAByteWithoutStart) {
  host.Start();
  EXPECT_FALSE(host.WriteByte(0x50));
  EXPECT_EQ(host.ReadByte(true), 0xFF) << "released bus";
  host.Stop();
  EXPECT_FALSE(host.WriteByte(0xA0)) << "no start condition, no address phase";
  host.Start();
  WriteRegister(chip, 0x12, 0xA0); // not armed by the transfer command: nothing goes out
  EXPECT_FALSE(host.WriteByte(0x00)) << "the first byte sent after the start is this one";
  host.Stop();
}

TEST_F(I2cTest, RegisterDeviceKeepsItsReadOnlyBits) {
  const auto id = host.Read(0x20, 0x00, 3);
  ASSERT_TRUE(id);
  EXPECT_EQ(*id, (std::vector<uint8_t>{0x5A, 0x60, 0x0F}));
  ASSERT_TRUE(host.Write(0x20, 0x00, {0x00, 0xFF, 0x81}));
  EXPECT_EQ(chip.RegisterDevice().Value(0), 0x5A);
  EXPECT_EQ(chip.RegisterDevice().Value(1), 0x6F);
  EXPECT_EQ(chip.RegisterDevice().Value(2), 0x81);
  EXPECT_EQ(*host.Read(0x20, 0x01, 2), (std::vector<uint8_t>{0x6F, 0x81}));
}

TEST_F(I2cTest, SlaveThatStopsAcknowledging) {
  chip.I2c().StopAcknowledging(0x20, 2);
  host.Start();
  EXPECT_TRUE(host.WriteByte(0x20));
  EXPECT_TRUE(host.WriteByte(0x02));
  EXPECT_FALSE(host.WriteByte(0x44));
  host.Stop();
  EXPECT_EQ(chip.RegisterDevice().Value(2), 0x0F);
  EXPECT_FALSE(host.Read(0x20, 0x00, 1));
  chip.I2c().ClearFaults();
  EXPECT_TRUE(host.Read(0x20, 0x00, 1));
}

TEST(I2cTimingTest, ByteFinishedFlagFollowsTheBusClock) {
  VirtualClock clock;
  SimConfig config;
  config.transferCostUs = 0;
  ChipSimulator chip(clock, config);
  I2cHost host(chip);
  host.Start();
  WriteRegister(chip, 0x14, 1);
  WriteRegister(chip, 0x12, 0xA0);
  EXPECT_EQ(ReadRegister(chip, 0x10), 0x00);
  clock.AdvanceUs(100);
  EXPECT_EQ(ReadRegister(chip, 0x10), 0x01);
  host.Stop();
}

TEST(I2cEepromAbsentTest, AddressIsNotAcknowledged) {
  VirtualClock clock;
  SimConfig config;
  config.eepromPresent = false;
  ChipSimulator chip(clock, config);
  I2cHost host(chip);
  EXPECT_FALSE(host.Read(0xA0, 0, 1));
  EXPECT_TRUE(host.Read(0x20, 0, 1));
}

} // namespace
} // namespace orvane::sim
