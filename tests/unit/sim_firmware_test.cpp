#include "sim/SimConfig.h"
#include "sim_wire.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::sim {
namespace {

using namespace wire;

class FirmwareTest : public ::testing::Test {
protected:
  VirtualClock clock;
  ChipSimulator chip{clock, SampleFirmwareConfig()};

  // The host's mailbox exchange; returns the number of polls until the code appeared (0: never).
  int Mailbox(uint8_t sub, uint8_t argument, std::vector<uint8_t> &data, uint8_t command = 0x10, uint8_t done = 0xEE) {
    WriteRegister(chip, 0x00, 0x00);
    if (!(sub & 1))
      for (size_t i = 0; i < data.size(); ++i)
        WriteRegister(chip, static_cast<uint8_t>(0x93 + i), data[i]);
    WriteRegister(chip, 0x91, sub);
    WriteRegister(chip, 0x92, argument);
    WriteRegister(chip, 0x90, command);
    int polls = 0;
    for (int i = 1; i <= 20 && polls == 0; ++i) {
      clock.SleepMs(10);
      if (ReadRegister(chip, 0x90) == done)
        polls = i;
    }
    if (sub & 1)
      for (size_t i = 0; i < data.size(); ++i)
        data[i] = ReadRegister(chip, static_cast<uint8_t>(0x93 + i));
    else if (command == 0x10)
      WriteRegister(chip, 0x90, 0x00);
    return polls;
  }

  void SendString(uint8_t sub, const std::string &text) {
    std::vector<uint8_t> message{static_cast<uint8_t>(text.size())};
    message.insert(message.end(), text.begin(), text.end());
    for (size_t k = 0; k < 4 && 8 * k < message.size(); ++k) {
      std::vector<uint8_t> chunk(message.begin() + 8 * k, message.begin() + std::min(message.size(), 8 * k + 8));
      ASSERT_GT(Mailbox(sub, static_cast<uint8_t>(k), chunk), 0);
    }
  }
};

TEST_F(FirmwareTest, CompletionCodeAppearsAfterAWhile) {
  WriteRegister(chip, 0x00, 0x00);
  WriteRegister(chip, 0x91, 0x21);
  WriteRegister(chip, 0x90, 0x10);
  EXPECT_EQ(ReadRegister(chip, 0x90), 0x10) << "still working right after the command";
  std::vector<uint8_t> record(4);
  const int readPolls = Mailbox(0x21, 0, record);
  EXPECT_GE(readPolls, 1);
  std::vector<uint8_t> options{0xA1, 0x00, 0x00, 0x00};
  const int writePolls = Mailbox(0x20, 0, options);
  EXPECT_GE(writePolls, 2) << "a write is kept in non-volatile memory and takes longer";
  EXPECT_LT(writePolls, 20);
  EXPECT_EQ(ReadRegister(chip, 0x90), 0x00) << "the host cleared the command register";
}

TEST_F(FirmwareTest, OptionRecordCarriesTheEepromBit) {
  std::vector<uint8_t> record(4);
  Mailbox(0x21, 0, record);
  EXPECT_EQ(record, (std::vector<uint8_t>{0xA1, 0x00, 0x00, 0x80}));
  std::vector<uint8_t> options{0x3C, 0xE0, 0x12, 0x00};
  Mailbox(0x20, 0, options);
  Mailbox(0x21, 0, record);
  EXPECT_EQ(record, (std::vector<uint8_t>{0x3C, 0xE0, 0x12, 0x80})) << "the status byte stays the device's";

  VirtualClock otherClock;
  SimConfig config = SampleFirmwareConfig();
  config.eepromPresent = false;
  ChipSimulator without(otherClock, config);
  EXPECT_EQ(without.Parameters().OptionRecord(false)[3], 0x00);
}

TEST_F(FirmwareTest, DescriptorStringsArriveInChunks) {
  SendString(0x14, "Orvane R62 Limited Edition DAC");
  SendString(0x10, "");
  SendString(0x18, "SN12345");
  EXPECT_EQ(chip.Parameters().DescriptorString(1), "Orvane R62 Limited Edition DAC");
  EXPECT_EQ(chip.Parameters().DescriptorString(0), "");
  EXPECT_EQ(chip.Parameters().DescriptorString(2), "SN12345");
  std::vector<uint8_t> chunk(8);
  Mailbox(0x19, 0, chunk);
  EXPECT_EQ(chunk, (std::vector<uint8_t>{7, 'S', 'N', '1', '2', '3', '4', '5'}));
}

TEST_F(FirmwareTest, OverlongLengthAndChunkNumbersStayInsideTheMessage) {
  std::vector<uint8_t> chunk{200, 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
  Mailbox(0x10, 0, chunk);
  EXPECT_EQ(chip.Parameters().DescriptorString(0).size(), 31u);
  std::vector<uint8_t> beyond{'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_GT(Mailbox(0x10, 9, beyond), 0) << "answered, but nothing written";
  EXPECT_EQ(chip.Parameters().DescriptorString(0).substr(0, 7), "ABCDEFG");
}

TEST_F(FirmwareTest, IdentifiersAreKeptAsSent) {
  std::vector<uint8_t> vid{'3', 'b', '5', '0'};
  std::vector<uint8_t> pid{'6', '0', '1', '2'};
  Mailbox(0x08, 0, vid);
  Mailbox(0x0A, 0, pid);
  EXPECT_EQ(std::string(chip.Parameters().VendorIdText().begin(), chip.Parameters().VendorIdText().end()), "3b50");
  std::vector<uint8_t> back(4);
  Mailbox(0x0B, 0, back);
  EXPECT_EQ(back, pid);
}

TEST_F(FirmwareTest, DataWrittenAfterTheCommandIsNotWhatTheFirmwareTook) {
  WriteRegister(chip, 0x00, 0x00);
  WriteRegister(chip, 0x91, 0x20);
  WriteRegister(chip, 0x92, 0x00);
  WriteRegister(chip, 0x90, 0x10);
  for (uint8_t i = 0; i < 4; ++i)
    WriteRegister(chip, static_cast<uint8_t>(0x93 + i), 0x55);
  clock.SleepMs(50);
  EXPECT_NE(chip.Parameters().OptionRecord(true)[0], 0x55);
}

TEST_F(FirmwareTest, MediaKeyIsAnsweredWith31) {
  std::vector<uint8_t> none;
  EXPECT_GT(Mailbox(0x10, 0, none, 0x30, 0x31), 0);
  EXPECT_EQ(chip.Firmware().MediaKeys(), std::vector<uint8_t>{0x10});
  EXPECT_EQ(ReadRegister(chip, 0x90), 0x31);
}

TEST_F(FirmwareTest, StreamStatusIsTheDevicesAndReadOnly) {
  chip.SetStreamStatus(0x09, 0x42, 0x03);
  WriteRegister(chip, 0x00, 0x00);
  WriteRegister(chip, 0xA6, 0x00);
  EXPECT_EQ(ReadRegister(chip, 0xA4), 0x09);
  EXPECT_EQ(ReadRegister(chip, 0xA5), 0x42);
  EXPECT_EQ(ReadRegister(chip, 0xA6), 0x03);
}

TEST_F(FirmwareTest, NothingAnswersInIspMode) {
  EnterIsp(chip);
  std::vector<uint8_t> record(4);
  EXPECT_EQ(Mailbox(0x21, 0, record), 0);
  chip.SetStreamStatus(0x01, 0x00, 0x01);
  EXPECT_EQ(ReadRegister(chip, 0xA6), 0x00);
}

TEST(UpdateModeFirmwareTest, BlankDeviceRunsNoFirmware) {
  VirtualClock clock;
  ChipSimulator chip(clock);
  WriteRegister(chip, 0x90, 0x10);
  clock.SleepMs(200);
  EXPECT_EQ(ReadRegister(chip, 0x90), 0x10);
}

} // namespace
} // namespace orvane::sim
