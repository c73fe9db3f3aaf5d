#include "image_test_files.h"
#include "isp/ImageFileLoaders.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvane {
namespace {

using namespace image_test;

class BinaryReaderTest : public ::testing::Test {
protected:
  void ExpectEarlierImageKept(const ImageLoadResult &result, const std::string &error) {
    ExpectRefused(result, error, earlier, image);
  }

  TempDirectory dir;
  const ImageRecord earlier = EarlierImage();
  ImageRecord image = earlier;
};

TEST_F(BinaryReaderTest, FileOfExactlyTheBufferSizeLoadsWhole) {
  const auto bytes = RandomBytes(kImageBufferSize, 11);
  WriteFile(dir.File("full.bin"), bytes);
  const ImageLoadResult result = LoadBinaryImage(image, dir.File("full.bin"));
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, kImageBufferSize);
  EXPECT_EQ(image.ImageBuffer, bytes);
  EXPECT_EQ(result.checksum, Sum16(bytes, 0, bytes.size()));
}

TEST_F(BinaryReaderTest, ShortFileLeavesTheRestErased) {
  const auto bytes = RandomBytes(1000, 12);
  WriteFile(dir.File("short.bin"), bytes);
  const ImageLoadResult result = LoadBinaryImage(image, dir.File("short.bin"));
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 1000u);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.ImageBuffer.begin()));
  EXPECT_TRUE(
      std::all_of(image.ImageBuffer.begin() + 1000, image.ImageBuffer.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(result.checksum, Sum16(bytes, 0, bytes.size()));
}

TEST_F(BinaryReaderTest, FileLongerThanTheBufferIsRefusedNotCut) {
  WriteFile(dir.File("long.bin"), RandomBytes(kImageBufferSize + 1, 13));
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("long.bin")), "the file is longer than the 262144-byte image");
}

TEST_F(BinaryReaderTest, EmptyFileIsRefused) {
  WriteFile(dir.File("empty.bin"), std::string());
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("empty.bin")), "the file is empty");
}

TEST_F(BinaryReaderTest, MissingFileAndDirectoryAreRefused) {
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("missing.bin")), "the file cannot be opened");
  std::filesystem::create_directory(dir.path() / "folder.bin");
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("folder.bin")), "the file cannot be opened");
  ExpectEarlierImageKept(LoadBinaryImage(image, ""), "the file cannot be opened");
}

TEST_F(BinaryReaderTest, Utf8NameOpens) {
  const std::string name = dir.File("Prüfung 固件 ü.bin");
  WriteFile(name, std::vector<uint8_t>{1, 2, 3});
  const ImageLoadResult result = LoadBinaryImage(image, name);
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 3u);
  EXPECT_EQ(result.checksum, 6);
}

TEST_F(BinaryReaderTest, KindOfTheNameChoosesTheReader) {
  WriteFile(dir.File("image.h00"), Record(0x00, 0x0004, {0xAB}) + kEndRecord);
  ImageLoadResult result = LoadImageFile(image, dir.File("image.h00"));
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 5u);
  EXPECT_EQ(image.ImageBuffer[4], 0xAB);

  // The same text under a binary name is taken byte for byte.
  const std::string text = Record(0x00, 0x0004, {0xAB}) + kEndRecord;
  WriteFile(dir.File("IMAGE.BIN"), text);
  result = LoadImageFile(image, dir.File("IMAGE.BIN"));
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, text.size());
  EXPECT_EQ(image.ImageBuffer[0], ':');

  const ImageRecord before = image;
  WriteFile(dir.File("image.txt"), std::vector<uint8_t>{1});
  ExpectRefused(LoadImageFile(image, dir.File("image.txt")),
                "the name does not end in a binary (.bin) or HEX (.hex) extension", before, image);
}

} // namespace
} // namespace orvane
