#include "image_test_files.h"
#include "isp/ImageFileOpen.h"
#include "isp/UpdateFileLookup.h"
#include "usb/DeviceTable.h"

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

#ifndef _WIN32 // links to devices, and names that differ only in case
// A .hex that is there but cannot be used ends the lookup with its reason:
// the .bin beside it is a different file the user did not choose.
TEST_F(UpdateFileLookupTest, AHexFileThatCannotBeReadStopsTheLookup) {
  WriteFile(dir.File("Orvane_R62.bin"), kBinFile);
  std::filesystem::create_symlink("/dev/zero", dir.path() / "Orvane_R62.hex");
  UpdateFileLookupResult result = LookUp(R62);
  EXPECT_EQ(result.statusCaption, "Firmware Update file   Orvane_R62.hex    found but not valid!");
  EXPECT_FALSE(result.startEnabled);
  EXPECT_EQ(result.refusal, "Orvane_R62.hex was not loaded: it is not a regular file (a device, pipe or socket is "
                            "never read).");
  EXPECT_EQ(image.ImageFileName, dir.File("Orvane_R62.hex"));
  ExpectImageKept(earlier, image);

  std::filesystem::remove(dir.path() / "Orvane_R62.hex");
  std::filesystem::create_symlink(dir.path() / "gone.hex", dir.path() / "Orvane_R62.hex");
  result = LookUp(R62);
  EXPECT_EQ(result.refusal, "Orvane_R62.hex was not loaded: the file does not exist.");
  ExpectImageKept(earlier, image);
}

TEST_F(UpdateFileLookupTest, NamesMatchInAnyCaseWhenTheExactNameIsAbsent) {
  WriteFile(dir.File("ORVANE_R62.HEX"), kHexFile);
  ExpectReady(LookUp(R62), "ORVANE_R62.HEX");
  EXPECT_EQ(image.ImageLength, 3u);

  // The exact name wins over one in other case.
  WriteFile(dir.File("Orvane_R62.hex"), Record(0x00, 0x0000, {0x11, 0x22}) + kEndRecord);
  ExpectReady(LookUp(R62), "Orvane_R62.hex");
  EXPECT_EQ(image.ImageLength, 2u);

  // Two that differ only in case, and no exact one: which is meant cannot be told.
  std::filesystem::remove(dir.File("Orvane_R62.hex"));
  WriteFile(dir.File("orvane_r62.hex"), kHexFile);
  const UpdateFileLookupResult result = LookUp(R62);
  EXPECT_FALSE(result.startEnabled);
  EXPECT_EQ(result.refusal, "Orvane_R62.hex was not loaded: several files differ from it only in case "
                            "(ORVANE_R62.HEX, orvane_r62.hex).");
}

#endif

} // namespace
} // namespace orvane
