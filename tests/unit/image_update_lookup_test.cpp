#include "app/shell/DeviceTable.h"
#include "image_test_files.h"
#include "isp/ImageFileOpen.h"
#include "isp/UpdateFileLookup.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using namespace image_test;

const DeviceTableRow &R62 = DeviceTable[3];
const DeviceTableRow &MR810 = DeviceTable[5];

class UpdateFileLookupTest : public ::testing::Test {
protected:
  UpdateFileLookupResult LookUp(const DeviceTableRow &model) {
    return LookUpUpdateFile(image, model, dir.path().string());
  }

  void ExpectReady(const UpdateFileLookupResult &result, const std::string &name) {
    EXPECT_EQ(result.statusCaption, "Firmware Update file   " + name + "    is Ready!");
    EXPECT_TRUE(result.startEnabled);
    EXPECT_EQ(result.indicator, std::optional(IndicatorColour::LimeGreen));
    EXPECT_EQ(result.refusal, "");
    EXPECT_TRUE(image.ImageReady);
    EXPECT_TRUE(image.UpdateFileLoaded);
    EXPECT_EQ(image.ImageFileName, dir.File(name));
  }

  TempDirectory dir;
  const ImageRecord earlier = EarlierImage();
  ImageRecord image = earlier;
};

const std::string kHexFile = Record(0x00, 0x0000, {0x48, 0x45, 0x58}) + kEndRecord;
const std::vector<uint8_t> kBinFile = {0x42, 0x49, 0x4E, 0x21, 0x21};

TEST_F(UpdateFileLookupTest, HexFileIsPreferredOverBinFile) {
  WriteFile(dir.File("Orvane_R62.hex"), kHexFile);
  WriteFile(dir.File("Orvane_R62.bin"), kBinFile);
  ExpectReady(LookUp(R62), "Orvane_R62.hex");
  EXPECT_EQ(image.ImageLength, 3u);
  EXPECT_EQ(image.ImageBuffer[0], 0x48);

  std::filesystem::remove(dir.File("Orvane_R62.hex"));
  ExpectReady(LookUp(R62), "Orvane_R62.bin");
  EXPECT_EQ(image.ImageLength, 5u);
  EXPECT_EQ(image.ImageBuffer[0], 0x42);
}

TEST_F(UpdateFileLookupTest, NameWithABlank) {
  WriteFile(dir.File("Orvane MR810.hex"), kHexFile);
  ExpectReady(LookUp(MR810), "Orvane MR810.hex");
}

TEST_F(UpdateFileLookupTest, Utf8WorkingDirectory) {
  const std::string folder = dir.File("Prüfung 固件");
  std::filesystem::create_directory(std::filesystem::path(std::u8string(folder.begin(), folder.end())));
  WriteFile(Join(folder, "Orvane_R62.bin"), kBinFile);
  const UpdateFileLookupResult result = LookUpUpdateFile(image, R62, folder);
  EXPECT_EQ(result.statusCaption, "Firmware Update file   Orvane_R62.bin    is Ready!");
  EXPECT_EQ(image.ImageFileName, Join(folder, "Orvane_R62.bin"));
  EXPECT_EQ(image.ImageLength, 5u);
}

TEST_F(UpdateFileLookupTest, LooksInTheWorkingDirectory) {
  WriteFile(dir.File("Orvane_R62.hex"), kHexFile);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const UpdateFileLookupResult result = LookUpUpdateFile(image, R62, CurrentDirectoryUtf8());
  std::filesystem::current_path(previous);
  EXPECT_EQ(result.statusCaption, "Firmware Update file   Orvane_R62.hex    is Ready!");
  EXPECT_EQ(std::filesystem::path(image.ImageFileName), std::filesystem::canonical(dir.path()) / "Orvane_R62.hex");
}

TEST_F(UpdateFileLookupTest, NoFileDisablesStartAndChangesNothingElse) {
  WriteFile(dir.File("Orvane_R61.hex"), kHexFile); // another model's file
  image.ImageReady = true;
  image.UpdateFileLoaded = true;
  const UpdateFileLookupResult result = LookUp(R62);
  EXPECT_EQ(result.statusCaption, "No Updated File !");
  EXPECT_FALSE(result.startEnabled);
  EXPECT_EQ(result.indicator, std::nullopt);
  EXPECT_EQ(image.ImageFileName, dir.File("Orvane_R62.bin")); // the name tried last
  EXPECT_TRUE(image.ImageReady);
  EXPECT_TRUE(image.UpdateFileLoaded);
  ExpectImageKept(earlier, image);
}

TEST_F(UpdateFileLookupTest, RefusedFileIsNamedAndLeavesStartDisabled) {
  WriteFile(dir.File("Orvane_R62.hex"), Record(0x00, 0x0000, {0x01}) + ":0400040011223344AA\n" + kEndRecord);
  WriteFile(dir.File("Orvane_R62.bin"), kBinFile); // not taken instead: the .hex file was found
  image.ImageReady = true;
  const UpdateFileLookupResult result = LookUp(R62);
  EXPECT_EQ(result.statusCaption, "Firmware Update file   Orvane_R62.hex    found but not valid!");
  EXPECT_FALSE(result.startEnabled);
  EXPECT_EQ(result.indicator, std::optional(IndicatorColour::ButtonFace));
  EXPECT_EQ(result.refusal, "Orvane_R62.hex was not loaded: line 2: the record checksum does not match.");
  EXPECT_FALSE(image.ImageReady);
  EXPECT_FALSE(image.UpdateFileLoaded);
  ExpectImageKept(earlier, image);
}

TEST_F(UpdateFileLookupTest, CorrectedFileIsTakenAtTheNextLookup) {
  WriteFile(dir.File("Orvane_R62.bin"), std::string());
  EXPECT_EQ(LookUp(R62).refusal, "Orvane_R62.bin was not loaded: the file is empty.");
  EXPECT_FALSE(image.UpdateFileLoaded);

  WriteFile(dir.File("Orvane_R62.bin"), kBinFile);
  ExpectReady(LookUp(R62), "Orvane_R62.bin");
}

TEST_F(UpdateFileLookupTest, FileSpoiltAfterALoadTakesTheReadyStateAway) {
  WriteFile(dir.File("Orvane_R62.hex"), kHexFile);
  ExpectReady(LookUp(R62), "Orvane_R62.hex");
  const ImageRecord loaded = image;

  WriteFile(dir.File("Orvane_R62.hex"), Record(0x04, 0, {0x00, 0x05}) + kHexFile);
  const UpdateFileLookupResult result = LookUp(R62);
  EXPECT_FALSE(result.startEnabled);
  EXPECT_EQ(result.indicator, std::optional(IndicatorColour::ButtonFace));
  EXPECT_FALSE(image.ImageReady);
  EXPECT_FALSE(image.UpdateFileLoaded);
  EXPECT_EQ(image.ImageBuffer, loaded.ImageBuffer);
}

} // namespace
} // namespace orvane
