#include "panels/ConvertError.h"
#include "usb/DeviceBus.h"
#include "usb/DeviceTable.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orvane {
namespace {

TEST(DeviceTableTest, SevenRowsWithFixedZeroTerminatedFields) {
  ASSERT_EQ(DeviceTable.size(), 7u);
  EXPECT_EQ(sizeof(DeviceTableRow), 120u);
  EXPECT_STREQ(DeviceTable[0].matchText, "vid_3b5d&pid_f0b5");
  EXPECT_STREQ(DeviceTable[3].displayName, "Orvane-R62");
  EXPECT_STREQ(DeviceTable[5].filePrefix, "Orvane MR810");
  EXPECT_STREQ(DeviceTable[6].displayName, "Orvane RB-Lantern");
  for (const auto &row : DeviceTable) {
    EXPECT_EQ(std::strncmp(row.matchText, "vid_3b5d&pid_", 13), 0);
    EXPECT_EQ(row.filePrefix[39], '\0');
  }
}

TEST(StrToIntTest, AcceptsDecimalAndPrefixedHexadecimal) {
  EXPECT_EQ(StrToInt("64"), 64);
  EXPECT_EQ(StrToInt("0x1F"), 31);
  EXPECT_EQ(StrToInt("0xff"), 255);
  EXPECT_EQ(StrToInt("$A0"), 160);
  EXPECT_EQ(StrToInt("-5"), -5);
}

TEST(StrToIntTest, RefusesWithTheToolkitText) {
  for (const char *bad : {"", "0x", "0xG1", "12a", " 1", "99999999999"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const ConvertError &e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
    }
  }
}

TEST(GuidTest, StandardByteLayout) {
  const auto b = kGuidUsbDevice.bytes();
  const uint8_t expected[16] = {0x10, 0xBF, 0xDC, 0xA5, 0x30, 0x65, 0xD2, 0x11,
                                0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED};
  EXPECT_EQ(std::memcmp(b.data(), expected, 16), 0);
  EXPECT_EQ(kGuidVendorPropertySet.text(), "{F6D7C04D-C5C3-4181-9ED7-504ABE0CDDFF}");
}

} // namespace
} // namespace orvane
