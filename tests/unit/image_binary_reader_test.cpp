#include "image_test_files.h"
#include "isp/ImageFileCheck.h"
#include "isp/ImageFileLoaders.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("missing.bin")), "the file does not exist");
  std::filesystem::create_directory(dir.path() / "folder.bin");
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("folder.bin")), "it is a directory, not a file");
  ExpectEarlierImageKept(LoadBinaryImage(image, ""), "no file is named");
}

#ifndef _WIN32
// A FIFO or a device would never end (or never start) the read: each is
// refused at once, by both readers, before anything opens it.
TEST_F(BinaryReaderTest, OnlyRegularFilesOfAReadableSizeAreRead) {
  const std::string notRegular = "it is not a regular file (a device, pipe or socket is never read)";
  ASSERT_EQ(mkfifo(dir.File("fifo.bin").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.bin");
  std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.hex");
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("fifo.bin")), notRegular);
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("zero.bin")), notRegular);
  ExpectEarlierImageKept(LoadHexImage(image, dir.File("zero.hex")), notRegular);

  // A link to a good file is read through.
  WriteFile(dir.File("real.bin"), std::vector<uint8_t>{1, 2, 3});
  std::filesystem::create_symlink(dir.path() / "real.bin", dir.path() / "link.bin");
  EXPECT_TRUE(LoadBinaryImage(image, dir.File("link.bin")).loaded);

  const ImageRecord loaded = image;
  WriteFile(dir.File("huge.hex"), std::string());
  std::filesystem::resize_file(dir.File("huge.hex"), kMaxImageFileBytes + 1);
  ExpectRefused(LoadHexImage(image, dir.File("huge.hex")), "the file is larger than 8388608 bytes", loaded, image);
}
#endif

// HEX text given under a binary name (fw.hex.bak) would be programmed as
// firmware character by character.
TEST_F(BinaryReaderTest, IntelHexTextUnderABinaryNameIsRefused) {
  const std::string text = "\r\n" + Record(0x00, 0x0000, {0x01, 0x02}) + kEndRecord;
  WriteFile(dir.File("fw.hex.bak"), text);
  ExpectEarlierImageKept(LoadImageFile(image, dir.File("fw.hex.bak")),
                         "the file holds Intel HEX text, not a binary image; give it a name ending in .hex");
  // A binary image that merely starts with a colon is still one.
  WriteFile(dir.File("colon.bin"), std::vector<uint8_t>{':', '1', '2', 0x00, 0x9A, 0x10});
  EXPECT_TRUE(LoadBinaryImage(image, dir.File("colon.bin")).loaded);
}

TEST_F(BinaryReaderTest, AnImageOfOnlyErasedBytesIsRefusedByBothReaders) {
  const std::string reason = "the image holds only 0xFF bytes, which is an erased flash the device cannot start from";
  WriteFile(dir.File("erased.bin"), std::vector<uint8_t>(0x8000, 0xFF));
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("erased.bin")), reason);
  WriteFile(dir.File("erased.hex"), Record(0x00, 0x0100, {0xFF, 0xFF}) + kEndRecord);
  ExpectEarlierImageKept(LoadHexImage(image, dir.File("erased.hex")), reason);
  // One programmed byte makes it an image.
  WriteFile(dir.File("one.hex"), Record(0x00, 0x0100, {0xFF, 0xFE}) + kEndRecord);
  EXPECT_TRUE(LoadHexImage(image, dir.File("one.hex")).loaded);
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

  // An upper-case binary name is read as binary.
  WriteFile(dir.File("IMAGE.BIN"), std::vector<uint8_t>{0x12, 0x34});
  result = LoadImageFile(image, dir.File("IMAGE.BIN"));
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 2u);
  EXPECT_EQ(image.ImageBuffer[0], 0x12);

  const ImageRecord before = image;
  WriteFile(dir.File("image.txt"), std::vector<uint8_t>{1});
  ExpectRefused(LoadImageFile(image, dir.File("image.txt")),
                "the name does not end in a binary (.bin) or HEX (.hex) extension", before, image);
}

} // namespace
} // namespace orvane
