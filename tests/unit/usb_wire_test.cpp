#include "usb/VirtualUsbWire.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane::vusb {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(VirtualUsbWireTest, RegisterReadOfTheWorkedExample) {
  const SetupPacket setup{0xC3, 0x91, 0x0000, 0x00A6, 1};
  const auto body = EncodeControlRequest(setup, {});
  ASSERT_TRUE(body);
  EXPECT_EQ(Frame(*body), (Bytes{0x09, 0, 0, 0, 0x02, 0xC3, 0x91, 0x00, 0x00, 0xA6, 0x00, 0x01, 0x00}));

  const Bytes answer{0x00, 0x01, 0x00, 0x05};
  const auto response = ParseControlResponse(answer, setup);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, TransferStatus::Completed);
  EXPECT_EQ(response->inData, Bytes{0x05});
  const Bytes registerValue{0x05};
  EXPECT_EQ(Frame(EncodeControlResponse(TransferStatus::Completed, 1, registerValue)),
            (Bytes{0x04, 0, 0, 0, 0x00, 0x01, 0x00, 0x05}));
}

TEST(VirtualUsbWireTest, OutRequestCarriesItsDataStage) {
  const SetupPacket setup{0x43, 0x90, 0x0012, 0x00A6, 2};
  const Bytes data{0xAB, 0xCD};
  const auto body = EncodeControlRequest(setup, data);
  ASSERT_TRUE(body);
  EXPECT_EQ(*body, (Bytes{0x02, 0x43, 0x90, 0x12, 0x00, 0xA6, 0x00, 0x02, 0x00, 0xAB, 0xCD}));
  EXPECT_FALSE(EncodeControlRequest(setup, Bytes{0xAB}));

  const auto parsed = ParseRequest(*body);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->opcode, Opcode::Control);
  EXPECT_EQ(parsed->setup.value, 0x0012);
  EXPECT_EQ(parsed->setup.length, 2);
  EXPECT_EQ(parsed->outData, data);
}

TEST(VirtualUsbWireTest, RequestsThatDoNotParse) {
  EXPECT_FALSE(ParseRequest(Bytes{}));
  EXPECT_FALSE(ParseRequest(Bytes{0x01, 0x00}));                                        // DESCRIBE with extra bytes
  EXPECT_FALSE(ParseRequest(Bytes{0x03}));                                              // unknown opcode
  EXPECT_FALSE(ParseRequest(Bytes{0x02, 0xC3, 0x91, 0, 0, 0xA6, 0, 1}));                // short header
  EXPECT_FALSE(ParseRequest(Bytes{0x02, 0xC3, 0x91, 0, 0, 0xA6, 0, 1, 0, 0x55}));       // IN with data
  EXPECT_FALSE(ParseRequest(Bytes{0x02, 0x43, 0x90, 0, 0, 0xA6, 0, 2, 0, 0x55}));       // OUT short of data
  EXPECT_FALSE(ParseRequest(Bytes{0x02, 0x43, 0x90, 0, 0, 0xA6, 0, 1, 0, 0x55, 0x66})); // OUT with extra data
  EXPECT_TRUE(ParseRequest(Bytes{0x01}));
}

TEST(VirtualUsbWireTest, FrameHeaderRefusesOversizeBodies) {
  EXPECT_EQ(ParseFrameHeader(Bytes{0x40, 0x00, 0x01, 0x00}), 65600u);
  EXPECT_FALSE(ParseFrameHeader(Bytes{0x41, 0x00, 0x01, 0x00}));
  EXPECT_FALSE(ParseFrameHeader(Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_FALSE(ParseFrameHeader(Bytes{0x01, 0x00, 0x00}));
}

TEST(VirtualUsbWireTest, DescribeRoundTripAndSanitisedSerial) {
  UsbDeviceInfo info;
  info.vendorId = 0x3B5D;
  info.productId = 0xF0B8;
  info.bcdDevice = 0x0161;
  info.hasAudioInterface = true;
  info.serial = "SN\x01" + std::string(70, 'x');
  const Bytes body = EncodeDescribeResponse(info);
  ASSERT_EQ(body.size(), 9u + 64u);
  EXPECT_EQ(Bytes(body.begin(), body.begin() + 9), (Bytes{0x00, 0x5D, 0x3B, 0xB8, 0xF0, 0x61, 0x01, 0x01, 64}));

  const auto parsed = ParseDescribeResponse(body);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->vendorId, 0x3B5D);
  EXPECT_EQ(parsed->productId, 0xF0B8);
  EXPECT_EQ(parsed->bcdDevice, 0x0161);
  EXPECT_TRUE(parsed->hasAudioInterface);
  EXPECT_EQ(parsed->serial, "SN?" + std::string(61, 'x'));
}

TEST(VirtualUsbWireTest, DescribeResponsesThatDoNotParse) {
  const Bytes good{0x00, 0x5D, 0x3B, 0x00, 0x60, 0x00, 0x01, 0x00, 0x02, 'A', 'B'};
  EXPECT_TRUE(ParseDescribeResponse(good));
  Bytes badStatus = good;
  badStatus[0] = 1;
  EXPECT_FALSE(ParseDescribeResponse(badStatus));
  EXPECT_FALSE(ParseDescribeResponse(Bytes(good.begin(), good.end() - 1))); // serial cut short
  Bytes extra = good;
  extra.push_back('C');
  EXPECT_FALSE(ParseDescribeResponse(extra));
  Bytes control = good;
  control[9] = 0x07;
  EXPECT_FALSE(ParseDescribeResponse(control));
  Bytes tooLong(9 + 65, 'A');
  tooLong[0] = 0;
  tooLong[8] = 65;
  EXPECT_FALSE(ParseDescribeResponse(tooLong));
}

TEST(VirtualUsbWireTest, ControlResponsesAreCheckedAgainstTheirRequest) {
  const SetupPacket in4{0xC3, 0x85, 0, 0, 4};
  const SetupPacket out4{0x43, 0x84, 0, 0, 4};
  EXPECT_FALSE(ParseControlResponse(Bytes{0x00, 0x05, 0x00, 1, 2, 3, 4, 5}, in4)); // more than wLength
  EXPECT_FALSE(ParseControlResponse(Bytes{0x00, 0x04, 0x00, 1, 2, 3}, in4));       // fewer bytes than announced
  EXPECT_FALSE(ParseControlResponse(Bytes{0x00, 0x02, 0x00, 1, 2, 3}, in4));       // more bytes than announced
  EXPECT_FALSE(ParseControlResponse(Bytes{0x03, 0x00, 0x00}, in4));                // unknown status
  EXPECT_FALSE(ParseControlResponse(Bytes{0x01, 0x01, 0x00, 9}, in4));             // stall with data
  EXPECT_FALSE(ParseControlResponse(Bytes{0x00, 0x04, 0x00, 1, 2, 3, 4}, out4));   // data on an OUT answer
  EXPECT_FALSE(ParseControlResponse(Bytes{0x00, 0x00}, in4));

  const auto shortIn = ParseControlResponse(Bytes{0x00, 0x02, 0x00, 7, 8}, in4);
  ASSERT_TRUE(shortIn);
  EXPECT_EQ(shortIn->actual, 2);
  EXPECT_EQ(shortIn->inData, (Bytes{7, 8}));
  const auto gone = ParseControlResponse(Bytes{0x02, 0x00, 0x00}, out4);
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->status, TransferStatus::Gone);
  const auto written = ParseControlResponse(Bytes{0x00, 0x04, 0x00}, out4);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->actual, 4);
}

TEST(VirtualUsbWireTest, RefusalsCarryNoData) {
  const Bytes data{1, 2, 3};
  EXPECT_EQ(EncodeControlResponse(TransferStatus::Stalled, 3, data), (Bytes{0x01, 0x00, 0x00}));
  EXPECT_EQ(EncodeControlResponse(TransferStatus::Failed, 3, data), (Bytes{0x01, 0x00, 0x00}));
  EXPECT_EQ(EncodeControlResponse(TransferStatus::Gone, 0, {}), (Bytes{0x02, 0x00, 0x00}));
}

} // namespace
} // namespace orvane::vusb
