#include "image_test_files.h"
#include "panels/DefaultImage.h"
#include "panels/ImageEditPage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace orvane {
namespace {

using image_test::Record;
using image_test::TempDirectory;
using image_test::WriteFile;

std::vector<uint8_t> Bytes(const std::string &text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

struct CurrentFile {
  ImageLoadResult load;
  ModifyFileReport report;
};

class ImageEditPageTest : public ::testing::Test {
protected:
  // "Current File" with path chosen.
  CurrentFile LoadFileToModify(const std::string &path) {
    edit.ModifyFileName = path;
    CurrentFile outcome;
    outcome.load = ReadModifyFile(image, edit);
    outcome.report = ReportModifyFile(edit);
    return outcome;
  }

  // A binary image of size bytes of pattern, with text at offset.
  std::string BinaryFile(const std::string &name, size_t size, size_t offset, const std::string &text) {
    std::vector<uint8_t> bytes = image_test::RandomBytes(size, static_cast<uint32_t>(size));
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    const std::string path = directory.File(name);
    WriteFile(path, bytes);
    return path;
  }

  TempDirectory directory;
  ImageRecord image;
  ImageEditState edit;
};

TEST_F(ImageEditPageTest, AFileWithTheMarkerLoadsIntoBothBuffersAndUnlocksTheSettings) {
  image.ImageFileName = "Orvane_Summit.hex";
  image.ImageReady = true;
  const std::string path = BinaryFile("table.bin", 5000, 0, "VXUSB_Table01");

  const CurrentFile outcome = LoadFileToModify(path);

  EXPECT_EQ(outcome.report.statusReport, "Load file ready");
  EXPECT_TRUE(outcome.load.loaded);
  EXPECT_EQ(edit.ModifyFileName, path);
  EXPECT_EQ(edit.ModifyLength, 5000u);
  EXPECT_EQ(image.ImageLength, 5000u);
  EXPECT_TRUE(std::equal(image.ImageBuffer.begin(), image.ImageBuffer.begin() + 5000, edit.ModifyBuffer.begin()));
  EXPECT_TRUE(std::all_of(edit.ModifyBuffer.begin() + 5000, edit.ModifyBuffer.end(), [](uint8_t b) { return !b; }));
  EXPECT_TRUE(edit.enables.check && edit.enables.settings && edit.enables.newFile);
  EXPECT_FALSE(edit.enables.save);
  // The update file the panel named stays named and ready.
  EXPECT_EQ(image.ImageFileName, "Orvane_Summit.hex");
  EXPECT_TRUE(image.ImageReady);
}

TEST_F(ImageEditPageTest, AnH00FileIsReadAsHexText) {
  const std::string path = directory.File("table.h00");
  WriteFile(path, Record(0x00, 0x0100, Bytes("VXUSB_Table01")) + image_test::kEndRecord);

  EXPECT_EQ(LoadFileToModify(path).report.statusReport, "Load file ready");
  EXPECT_EQ(edit.ModifyLength, 0x010Du);
  EXPECT_EQ(std::string(edit.ModifyBuffer.begin() + 0x100, edit.ModifyBuffer.begin() + 0x10D), "VXUSB_Table01");
  EXPECT_EQ(edit.ModifyBuffer[0xFF], 0xFF); // the gap as erased flash, copied from the image
}

TEST_F(ImageEditPageTest, WithoutTheMarkerTheFileIsInvalidAndUnlockedControlsStayUnlocked) {
  const std::string noMarker = BinaryFile("plain.bin", 4000, 100, "VXUSB_Tab");
  EXPECT_EQ(LoadFileToModify(noMarker).report.statusReport, "Load file is invalid for modify");
  EXPECT_TRUE(edit.enables.check);
  EXPECT_FALSE(edit.enables.settings || edit.enables.newFile);

  LoadFileToModify(BinaryFile("table.bin", 4000, 100, "VXUSB_Table01"));
  EXPECT_TRUE(edit.enables.settings && edit.enables.newFile);
  EXPECT_EQ(LoadFileToModify(noMarker).report.statusReport, "Load file is invalid for modify");
  EXPECT_TRUE(edit.enables.check && edit.enables.settings && edit.enables.newFile);
}

TEST_F(ImageEditPageTest, AMarkerInTheLastLoadedByteIsReadOnIntoWhatTheWorkingCopyHeldBefore) {
  LoadFileToModify(BinaryFile("long.bin", 5000, 3999, "VXUSB_Table01"));
  const CurrentFile outcome = LoadFileToModify(BinaryFile("short.bin", 4000, 3999, "V"));
  EXPECT_EQ(edit.ModifyLength, 4000u);
  EXPECT_EQ(outcome.report.statusReport, "Load file ready");
}

TEST_F(ImageEditPageTest, AFileThatCannotBeLoadedIsInvalidEvenWhenTheBuffersHeldAMarker) {
  LoadFileToModify(BinaryFile("table.bin", 3000, 10, "VXUSB_Table01"));
  const std::vector<uint8_t> earlierImage = image.ImageBuffer;

  const std::string text = directory.File("notes.txt");
  WriteFile(text, "VXUSB_Table01");
  for (const std::string &path : {directory.File("missing.bin"), text, directory.File("empty.hex")}) {
    SCOPED_TRACE(path);
    if (path.ends_with("empty.hex"))
      WriteFile(path, std::string());
    const CurrentFile outcome = LoadFileToModify(path);
    EXPECT_EQ(outcome.report.statusReport, "Load file is invalid for modify");
    EXPECT_FALSE(outcome.report.markerFound);
    EXPECT_FALSE(outcome.load.error.empty());
    EXPECT_EQ(edit.ModifyFileName, path);
    EXPECT_EQ(edit.ModifyLength, 0u);
    EXPECT_FALSE(CheckModifyBuffer(edit));
    // The readers refuse without touching the image.
    EXPECT_EQ(image.ImageBuffer, earlierImage);
    EXPECT_EQ(image.ImageLength, 3000u);
  }
}

TEST_F(ImageEditPageTest, CheckSearchesTheWorkingCopyAndUnlocksOnlyTheSettings) {
  EXPECT_FALSE(CheckModifyBuffer(edit));
  EXPECT_FALSE(edit.enables.check || edit.enables.settings || edit.enables.newFile || edit.enables.save);

  const std::string marker = "VXUSB_Table01";
  std::copy(marker.begin(), marker.end(), edit.ModifyBuffer.begin() + 50);
  edit.ModifyLength = 51;
  EXPECT_TRUE(CheckModifyBuffer(edit));
  EXPECT_TRUE(edit.enables.settings);
  EXPECT_FALSE(edit.enables.newFile || edit.enables.check);
}

TEST_F(ImageEditPageTest, NewFileKeepsTheChosenPathAndUnlocksSave) {
  ChooseOutputFile(edit, "/home/user/out put/new.bin");
  EXPECT_EQ(edit.SaveFilePath, "/home/user/out put/new.bin");
  EXPECT_TRUE(edit.enables.save);
}

TEST_F(ImageEditPageTest, SaveReplacesOnlyTheFirst32KOfBothBuffers) {
  LoadFileToModify(BinaryFile("big.bin", 100000, 40000, "VXUSB_Table01"));
  const ImageRecord loaded = image;
  const ImageEditState loadedEdit = edit;

  PutDefaultImage(image, edit);

  const auto &defaults = DefaultImage();
  for (const std::vector<uint8_t> *buffer : {&image.ImageBuffer, &edit.ModifyBuffer}) {
    EXPECT_TRUE(std::equal(defaults.begin(), defaults.end(), buffer->begin()));
  }
  EXPECT_TRUE(
      std::equal(image.ImageBuffer.begin() + 32768, image.ImageBuffer.end(), loaded.ImageBuffer.begin() + 32768));
  EXPECT_TRUE(
      std::equal(edit.ModifyBuffer.begin() + 32768, edit.ModifyBuffer.end(), loadedEdit.ModifyBuffer.begin() + 32768));
  EXPECT_EQ(image.ImageLength, 100000u);
  EXPECT_EQ(edit.ModifyLength, 100000u);
  EXPECT_EQ(image.ImageReady, loaded.ImageReady);
  EXPECT_EQ(image.ImageFileName, loaded.ImageFileName);
  EXPECT_TRUE(CheckModifyBuffer(edit)); // the marker at 40,000 is past the default image
}

TEST_F(ImageEditPageTest, SaveAtStartFillsTheFirst32KAndKeepsTheLengthsZero) {
  PutDefaultImage(image, edit);
  const auto &defaults = DefaultImage();
  EXPECT_TRUE(std::equal(defaults.begin(), defaults.end(), image.ImageBuffer.begin()));
  EXPECT_TRUE(
      std::all_of(image.ImageBuffer.begin() + 32768, image.ImageBuffer.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(std::equal(defaults.begin(), defaults.end(), edit.ModifyBuffer.begin()));
  EXPECT_TRUE(
      std::all_of(edit.ModifyBuffer.begin() + 32768, edit.ModifyBuffer.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(image.ImageLength, 0u);
  EXPECT_EQ(edit.ModifyLength, 0u);
}

} // namespace
} // namespace orvane
