#include "panels/DefaultImage.h"
#include "panels/ParameterTableMarker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace orvane {
namespace {

std::vector<uint8_t> ImageWith(size_t size, const std::vector<std::pair<size_t, std::string>> &texts) {
  std::vector<uint8_t> image(size, 0xFF);
  for (const auto &[offset, text] : texts)
    for (size_t i = 0; i < text.size() && offset + i < size; ++i)
      image[offset + i] = static_cast<uint8_t>(text[i]);
  return image;
}

TEST(ParameterTableMarkerTest, FoundAtOffsetZero) {
  EXPECT_EQ(FindParameterTableMarker(ImageWith(64, {{0, "VXUSB_Table01"}}), 64), 0u);
}

TEST(ParameterTableMarkerTest, TheFirstTenCharactersAreEnough) {
  EXPECT_EQ(FindParameterTableMarker(ImageWith(64, {{20, "VXUSB_Tabl?!?"}}), 64), 20u);
  EXPECT_EQ(FindParameterTableMarker(ImageWith(64, {{20, "VXUSB_Tab?!?!"}}), 64), std::nullopt);
  EXPECT_EQ(FindParameterTableMarker(ImageWith(64, {{20, "vxusb_table01"}}), 64), std::nullopt);
}

TEST(ParameterTableMarkerTest, TheFirstOfTwoWins) {
  EXPECT_EQ(FindParameterTableMarker(ImageWith(256, {{200, "VXUSB_Table01"}, {37, "VXUSB_Table01"}}), 256), 37u);
}

TEST(ParameterTableMarkerTest, AMarkerStartingInTheLastCountedByteIsReadOnPastTheLength) {
  const auto image = ImageWith(256, {{99, "VXUSB_Table01"}});
  EXPECT_EQ(FindParameterTableMarker(image, 100), 99u);
  EXPECT_EQ(FindParameterTableMarker(image, 99), std::nullopt);
  EXPECT_EQ(FindParameterTableMarker(image, 0), std::nullopt);
}

TEST(ParameterTableMarkerTest, AMarkerCutByTheEndOfTheBufferIsNotFoundAndNotReadPast) {
  // The buffer's own size, exactly: the last nine bytes hold "VXUSB_Tab".
  const auto cut = ImageWith(100, {{91, "VXUSB_Table01"}});
  EXPECT_EQ(FindParameterTableMarker(cut, 100), std::nullopt);
  EXPECT_EQ(FindParameterTableMarker(cut, 0xFFFFFFFF), std::nullopt);
  const auto whole = ImageWith(100, {{90, "VXUSB_Table01"}});
  EXPECT_EQ(FindParameterTableMarker(whole, 0xFFFFFFFF), 90u);
  EXPECT_EQ(FindParameterTableMarker({}, 10), std::nullopt);
}

TEST(DefaultImageTest, OurLeadInThenAFixedPatternAndAZeroTailWithoutAMarker) {
  const auto &image = DefaultImage();
  ASSERT_EQ(image.size(), 32768u);
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 8),
            (std::vector<uint8_t>{0x02, 0x5D, 0x47, 0xE0, 0xF0, 0x27, 0xFF, 0x05}));
  EXPECT_TRUE(std::all_of(image.begin() + 30720, image.end(), [](uint8_t b) { return b == 0; }));
  // The pattern is neither erased flash nor blank.
  const auto distinct = std::set<uint8_t>(image.begin() + 8, image.begin() + 30720).size();
  EXPECT_EQ(distinct, 256u);
  const std::vector<uint8_t> bytes(image.begin(), image.end());
  EXPECT_EQ(FindParameterTableMarker(bytes, static_cast<uint32_t>(bytes.size())), std::nullopt);
}

} // namespace
} // namespace orvane
