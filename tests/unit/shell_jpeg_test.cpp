#include "app/JpegDecoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace orvane {
namespace {

std::vector<uint8_t> ReadBanner() {
  std::ifstream in(ORVANE_SOURCE_DIR "/app/images/Image1.jpg", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(JpegDecoderTest, DecodesTheBannerWhiteOnBlack) {
  const auto bytes = ReadBanner();
  ASSERT_FALSE(bytes.empty());
  const auto image = DecodeJpeg(bytes.data(), bytes.size());
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width, 599);
  EXPECT_EQ(image->height, 213);
  ASSERT_EQ(image->pixels.size(), size_t{599} * 213 * 3);
  // Corners are black background; the picture has white in it.
  EXPECT_LT(image->pixels[0], 30);
  EXPECT_LT(image->pixels[image->pixels.size() - 1], 30);
  size_t white = 0;
  for (uint8_t v : image->pixels)
    white += v > 225;
  EXPECT_GT(white, image->pixels.size() / 50);
}

TEST(JpegDecoderTest, RefusesDamagedData) {
  const auto bytes = ReadBanner();
  ASSERT_GT(bytes.size(), 1000u);
  EXPECT_FALSE(DecodeJpeg(nullptr, 0).has_value());
  EXPECT_FALSE(DecodeJpeg(bytes.data(), 0).has_value());
  // Cut short: in the header, and in the middle of the picture data.
  EXPECT_FALSE(DecodeJpeg(bytes.data(), 20).has_value());
  EXPECT_FALSE(DecodeJpeg(bytes.data(), bytes.size() / 2).has_value());
  EXPECT_FALSE(DecodeJpeg(bytes.data(), bytes.size() - 2).has_value()); // no end marker

  std::mt19937 random(1234);
  std::vector<uint8_t> garbage(4096);
  for (auto &b : garbage)
    b = static_cast<uint8_t>(random());
  EXPECT_FALSE(DecodeJpeg(garbage.data(), garbage.size()).has_value());
  // A valid start of image followed by garbage.
  garbage[0] = 0xFF;
  garbage[1] = 0xD8;
  EXPECT_FALSE(DecodeJpeg(garbage.data(), garbage.size()).has_value());
}

TEST(JpegDecoderTest, RefusesPicturesTooLargeToHold) {
  auto bytes = ReadBanner();
  // Patch the frame header (SOF0/SOF2) to claim 60000 x 60000 pixels.
  bool patched = false;
  for (size_t i = 0; i + 9 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
      bytes[i + 5] = 0xEA;
      bytes[i + 6] = 0x60;
      bytes[i + 7] = 0xEA;
      bytes[i + 8] = 0x60;
      patched = true;
      break;
    }
  }
  ASSERT_TRUE(patched);
  EXPECT_FALSE(DecodeJpeg(bytes.data(), bytes.size()).has_value());
}

TEST(JpegDecoderTest, SurvivesEveryTruncationAndSingleByteDamage) {
  const auto bytes = ReadBanner();
  for (size_t cut = 0; cut < bytes.size(); cut += 97)
    EXPECT_FALSE(DecodeJpeg(bytes.data(), cut).has_value()) << "cut at " << cut;
  std::vector<uint8_t> damaged = bytes;
  for (size_t i = 0; i < 400 && i < damaged.size(); ++i) {
    damaged[i] ^= 0x5A;
    (void)DecodeJpeg(damaged.data(), damaged.size()); // must return, whatever it says
    damaged[i] = bytes[i];
  }
}

} // namespace
} // namespace orvane
