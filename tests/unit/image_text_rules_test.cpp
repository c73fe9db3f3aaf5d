#include "isp/HexTextToInt.h"
#include "isp/ImageFileKind.h"
#include "isp/ImageFileNameList.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(ImageFileKindTest, ThirdCharacterFromTheEndOfTheWholeName) {
  EXPECT_EQ(ImageFileKindOf("Orvane_R62.hex"), ImageFileKind::Hex);
  EXPECT_EQ(ImageFileKindOf("C:\\FW\\ORVANE.HEX"), ImageFileKind::Hex);
  EXPECT_EQ(ImageFileKindOf("image.h00"), ImageFileKind::Hex);
  EXPECT_EQ(ImageFileKindOf("Orvane MR810.bin"), ImageFileKind::Binary);
  EXPECT_EQ(ImageFileKindOf("/tmp/IMAGE.BIN"), ImageFileKind::Binary);
  EXPECT_EQ(ImageFileKindOf("image.bin.hex"), ImageFileKind::Hex);
  EXPECT_EQ(ImageFileKindOf("bxx"), ImageFileKind::Binary); // a three-character name is its own extension
  EXPECT_EQ(ImageFileKindOf("image.txt"), ImageFileKind::Unknown);
  EXPECT_EQ(ImageFileKindOf("image.hx"), ImageFileKind::Unknown);
  EXPECT_EQ(ImageFileKindOf("hx"), ImageFileKind::Unknown);
  EXPECT_EQ(ImageFileKindOf(""), ImageFileKind::Unknown);
}

TEST(HexTextToIntTest, DigitsOfEitherCaseAndOtherCharactersAsZero) {
  EXPECT_EQ(HexTextToInt("1f", 2), 31);
  EXPECT_EQ(HexTextToInt("G1", 2), 1);
  EXPECT_EQ(HexTextToInt("12", 1), 1);
  EXPECT_EQ(HexTextToInt("3c", 2), 0x3C);
  EXPECT_EQ(HexTextToInt("123", 2), 0x12);
  EXPECT_EQ(HexTextToInt("aBcD", 4), 0xABCD);
  EXPECT_EQ(HexTextToInt(" 1\n", 3), 0x010);
}

TEST(HexTextToIntTest, PositionsPastTheEndOfTheTextCountAsZero) {
  EXPECT_EQ(HexTextToInt("5", 2), 0x50);
  EXPECT_EQ(HexTextToInt("", 2), 0);
  EXPECT_EQ(HexTextToInt("FF", 0), 0);
  EXPECT_EQ(HexTextToInt("FF", -3), 0);
  EXPECT_EQ(HexTextToInt("7FFFFFFF", 8), 0x7FFFFFFF);
}

TEST(RememberImageFileNameTest, EachNameListedOnceInOrderOfFirstUse) {
  std::vector<std::string> items;
  EXPECT_TRUE(RememberImageFileName(items, "a.hex"));
  EXPECT_TRUE(RememberImageFileName(items, "b.bin"));
  EXPECT_FALSE(RememberImageFileName(items, "a.hex"));
  EXPECT_TRUE(RememberImageFileName(items, "A.hex")); // case counts
  EXPECT_EQ(items, (std::vector<std::string>{"a.hex", "b.bin", "A.hex"}));
}

} // namespace
} // namespace orvane
