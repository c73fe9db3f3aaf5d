#include "panels/ParameterExchange.h"
#include "params_recording_mailbox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

class ParameterExchangeTest : public ::testing::Test {
protected:
  Bytes Message(const std::string &text) {
    Bytes bytes{static_cast<uint8_t>(text.size())};
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
  }

  // The chunks sent for one string, as (chunk number, bytes).
  std::vector<std::pair<uint8_t, Bytes>> Chunks(uint8_t subCommand) {
    std::vector<std::pair<uint8_t, Bytes>> chunks;
    for (const auto &call : mailbox.calls) {
      EXPECT_EQ(call.command, 0x10);
      EXPECT_EQ(call.subCommand, subCommand);
      chunks.emplace_back(call.argument, call.data);
    }
    return chunks;
  }

  VirtualClock clock;
  test::RecordingMailbox mailbox{clock};
};

TEST_F(ParameterExchangeTest, SetSendsTheRecordAsItStandsAndReadBackReplacesIt) {
  ParameterRecord record = kStartParameterRecord;
  SetParameterRecord(mailbox, record);
  ASSERT_EQ(mailbox.calls.size(), 1u);
  EXPECT_EQ(mailbox.calls[0].command, 0x10);
  EXPECT_EQ(mailbox.calls[0].subCommand, 0x20);
  EXPECT_EQ(mailbox.calls[0].argument, 0);
  EXPECT_EQ(mailbox.calls[0].data, (Bytes{0xA1, 0x00, 0x00, 0x00}));

  mailbox.deviceRecord = {0x00, 0x00, 0x00, 0x80};
  ReadBackParameterRecord(mailbox, record);
  ASSERT_EQ(mailbox.calls.size(), 2u);
  EXPECT_EQ(mailbox.calls[1].subCommand, 0x21);
  EXPECT_EQ(mailbox.calls[1].argument, 0);
  EXPECT_EQ(record, (ParameterRecord{0x00, 0x00, 0x00, 0x80}));
}

TEST_F(ParameterExchangeTest, ReadBackWithoutADeviceKeepsTheRecord) {
  mailbox.answers = false;
  ParameterRecord record{0x35, 0x40, 0x07, 0x80};
  ReadBackParameterRecord(mailbox, record);
  EXPECT_EQ(record, (ParameterRecord{0x35, 0x40, 0x07, 0x80}));
}

TEST_F(ParameterExchangeTest, IdentifierGoesAsItsFourCharacterCodes) {
  EXPECT_TRUE(SendDeviceIdentifier(mailbox, DeviceIdentifier::Vendor, "3b50").sent);
  EXPECT_TRUE(SendDeviceIdentifier(mailbox, DeviceIdentifier::Product, "6012").sent);
  ASSERT_EQ(mailbox.calls.size(), 2u);
  EXPECT_EQ(mailbox.calls[0].subCommand, 0x08);
  EXPECT_EQ(mailbox.calls[0].argument, 0);
  EXPECT_EQ(mailbox.calls[0].data, (Bytes{0x33, 0x62, 0x35, 0x30}));
  EXPECT_EQ(mailbox.calls[1].subCommand, 0x0A);
  EXPECT_EQ(mailbox.calls[1].data, (Bytes{0x36, 0x30, 0x31, 0x32}));
  EXPECT_EQ(clock.SleepCount(), 0u);
}

TEST_F(ParameterExchangeTest, IdentifierOfOtherThanFourCharactersIsRefusedUnsent) {
  for (const std::string text : {"", "3b5", "3b50a", "  3b50", "3b\xC3\xA9"}) {
    SCOPED_TRACE(text);
    const ParameterSend send = SendDeviceIdentifier(mailbox, DeviceIdentifier::Vendor, text);
    EXPECT_FALSE(send.sent);
    EXPECT_NE(send.refusal.find("exactly 4 characters"), std::string::npos) << send.refusal;
  }
  EXPECT_TRUE(mailbox.calls.empty());
  // "3bé5" is four characters, though five bytes of UTF-8.
  EXPECT_TRUE(SendDeviceIdentifier(mailbox, DeviceIdentifier::Vendor,
                                   "3b\xC3\xA9"
                                   "5")
                  .sent);
  ASSERT_EQ(mailbox.calls.size(), 1u);
  EXPECT_EQ(mailbox.calls[0].data, (Bytes{0x33, 0x62, 0xE9, 0x35}));
}

TEST_F(ParameterExchangeTest, EmptyStringIsOneChunkOfItsLengthByte) {
  const ParameterSend send = SendDescriptorString(mailbox, clock, DescriptorString::Manufacturer, "");
  EXPECT_TRUE(send.sent);
  EXPECT_FALSE(send.capped);
  EXPECT_EQ(Chunks(0x10), (std::vector<std::pair<uint8_t, Bytes>>{{0, {0x00}}}));
}

TEST_F(ParameterExchangeTest, SevenCharactersFillOneChunk) {
  SendDescriptorString(mailbox, clock, DescriptorString::ModelName, "Vantrel");
  EXPECT_EQ(Chunks(0x14), (std::vector<std::pair<uint8_t, Bytes>>{{0, Message("Vantrel")}}));
}

TEST_F(ParameterExchangeTest, EightCharactersSpillOneByteIntoASecondChunk) {
  SendDescriptorString(mailbox, clock, DescriptorString::SerialNumber, "VXUA1702");
  const Bytes message = Message("VXUA1702");
  EXPECT_EQ(Chunks(0x18), (std::vector<std::pair<uint8_t, Bytes>>{{0, Bytes(message.begin(), message.begin() + 8)},
                                                                  {1, Bytes{'2'}}}));
}

TEST_F(ParameterExchangeTest, ThirtyOneCharactersAreFourFullChunks50MsApart) {
  const std::string text = "Vantrel-inc UAC2 22 DAC Amp 4.4";
  ASSERT_EQ(text.size(), 31u);
  const ParameterSend send = SendDescriptorString(mailbox, clock, DescriptorString::ModelName, text);
  EXPECT_FALSE(send.capped);
  const Bytes message = Message(text);
  ASSERT_EQ(mailbox.calls.size(), 4u);
  for (uint8_t k = 0; k < 4; ++k) {
    EXPECT_EQ(mailbox.calls[k].argument, k);
    EXPECT_EQ(mailbox.calls[k].data, Bytes(message.begin() + 8 * k, message.begin() + 8 * (k + 1)));
    EXPECT_EQ(mailbox.calls[k].atUs, 50'000u * k);
  }
  EXPECT_EQ(clock.NowUs(), 200'000u); // the pause follows the last chunk too
}

TEST_F(ParameterExchangeTest, FortyCharactersAreCappedAtThirtyOneWithAMatchingLengthByte) {
  const std::string text(40, 'x');
  const ParameterSend send = SendDescriptorString(mailbox, clock, DescriptorString::Manufacturer, text);
  EXPECT_TRUE(send.sent);
  EXPECT_TRUE(send.capped);
  ASSERT_EQ(mailbox.calls.size(), 4u);
  EXPECT_EQ(mailbox.calls[0].data[0], 31);
  Bytes sent;
  for (const auto &call : mailbox.calls)
    sent.insert(sent.end(), call.data.begin(), call.data.end());
  EXPECT_EQ(sent, Message(std::string(31, 'x')));
}

TEST_F(ParameterExchangeTest, CharactersOutsideTheCodePageAreRefusedUnsent) {
  // Euro sign (Windows-1252 only), a control character, CJK, an emoji, broken UTF-8.
  for (const std::string text :
       {"Vantrel \xE2\x82\xAC", "Van\ttrel", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x8E\xA7", "bad \xC3"}) {
    SCOPED_TRACE(text);
    const ParameterSend send = SendDescriptorString(mailbox, clock, DescriptorString::Manufacturer, text);
    EXPECT_FALSE(send.sent);
    EXPECT_NE(send.refusal.find("Latin-1"), std::string::npos) << send.refusal;
  }
  EXPECT_TRUE(mailbox.calls.empty());
  EXPECT_EQ(clock.SleepCount(), 0u);
  EXPECT_NE(SendDescriptorString(mailbox, clock, DescriptorString::Manufacturer, "\xE2\x82\xAC").refusal.find("U+20AC"),
            std::string::npos);
}

TEST_F(ParameterExchangeTest, LatinOneLettersGoAsTheirSingleByteCodes) {
  // "Grüße µ" in UTF-8.
  SendDescriptorString(mailbox, clock, DescriptorString::Manufacturer,
                       "Gr\xC3\xBC\xC3\x9F"
                       "e \xC2\xB5");
  EXPECT_EQ(Chunks(0x10), (std::vector<std::pair<uint8_t, Bytes>>{{0, {7, 'G', 'r', 0xFC, 0xDF, 'e', ' ', 0xB5}}}));
}

} // namespace
} // namespace orvane
