#include "image_test_files.h"
#include "isp/ProgramFileLoad.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using namespace image_test;

class ProgramFileLoadTest : public ::testing::Test {
protected:
  ProgramFileLoadResult LoadNamed(const std::string &name) {
    image.ImageFileName = name;
    return LoadProgramFile(image);
  }

  void ExpectRefused(const ProgramFileLoadResult &result, const std::string &message) {
    EXPECT_FALSE(result.loaded);
    EXPECT_EQ(result.message, message);
    EXPECT_EQ(result.checksumCaption, std::optional<std::string>("Checksum :"));
    EXPECT_FALSE(image.ImageReady);
    ExpectImageKept(earlier, image);
  }

  TempDirectory dir;
  const ImageRecord earlier = EarlierImage();
  ImageRecord image = earlier;
};

TEST_F(ProgramFileLoadTest, HexFileShowsItsChecksum) {
  WriteFile(dir.File("example.hex"), ":040010001122334442\n:00000001FF\n");
  const ProgramFileLoadResult result = LoadNamed(dir.File("example.hex"));
  EXPECT_TRUE(result.loaded);
  EXPECT_TRUE(result.rememberFileName);
  EXPECT_EQ(result.checksumCaption, std::optional<std::string>("Checksum : 0x109A"));
  EXPECT_EQ(result.message, "");
  EXPECT_TRUE(image.ImageReady);
  EXPECT_EQ(image.ImageLength, 0x14u);
}

TEST_F(ProgramFileLoadTest, ChecksumShowsFourDigits) {
  std::vector<uint8_t> bytes(10, 0xFF);
  bytes.push_back(0xC6); // 10 x 0xFF + 0xC6 = 0xABC
  WriteFile(dir.File("FIRMWARE.BIN"), bytes);
  const ProgramFileLoadResult result = LoadNamed(dir.File("FIRMWARE.BIN"));
  EXPECT_EQ(result.checksumCaption, std::optional<std::string>("Checksum : 0x0ABC"));
}

TEST_F(ProgramFileLoadTest, H00NameIsReadAsHex) {
  WriteFile(dir.File("update.h00"), ":040010001122334442\n:00000001FF\n");
  EXPECT_EQ(LoadNamed(dir.File("update.h00")).checksumCaption, std::optional<std::string>("Checksum : 0x109A"));
}

TEST_F(ProgramFileLoadTest, EmptyNameIsNotReady) {
  image.ImageReady = true;
  const ProgramFileLoadResult result = LoadNamed("");
  EXPECT_FALSE(result.loaded);
  EXPECT_FALSE(result.rememberFileName);
  EXPECT_EQ(result.message, "Program File Not Ready !!    ");
  EXPECT_EQ(result.checksumCaption, std::nullopt);
  EXPECT_FALSE(image.ImageReady);
  EXPECT_EQ(image.ImageBuffer, earlier.ImageBuffer);
}

TEST_F(ProgramFileLoadTest, RefusedHexFileIsExplained) {
  image.ImageReady = true;
  const std::string name = dir.File("bad.hex");
  WriteFile(name, ":040010001122334442\n:0400140011223344\n:00000001FF\n");
  const ProgramFileLoadResult result = LoadNamed(name);
  EXPECT_TRUE(result.rememberFileName); // the name typed is still listed
  ExpectRefused(result, name + " was not loaded: line 2: the record is shorter than its byte count says.");
}

TEST_F(ProgramFileLoadTest, MissingFileIsNotMarkedReadyWithAZeroChecksum) {
  image.ImageReady = true;
  const std::string name = dir.File("missing.hex");
  ExpectRefused(LoadNamed(name), name + " was not loaded: the file does not exist.");
}

TEST_F(ProgramFileLoadTest, NameOfNeitherKindLoadsNothing) {
  const std::string name = dir.File("firmware.txt");
  WriteFile(name, std::vector<uint8_t>{1, 2, 3});
  ExpectRefused(LoadNamed(name),
                name + " was not loaded: the name does not end in a binary (.bin) or HEX (.hex) extension.");
}

TEST_F(ProgramFileLoadTest, TooLongBinaryFileIsRefused) {
  const std::string name = dir.File("big.bin");
  WriteFile(name, std::vector<uint8_t>(kImageBufferSize + 100, 0x00));
  ExpectRefused(LoadNamed(name), name + " was not loaded: the file is longer than the 262144-byte image.");
}

} // namespace
} // namespace orvane
