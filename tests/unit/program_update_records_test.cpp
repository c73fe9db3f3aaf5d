// What is remembered of an update that did not end in success, and what is
// found again for a device that comes back: the device's own record, for a
// week, and nothing planted or damaged.

#include "image_test_files.h"
#include "isp/ImageRecord.h"
#include "program/RecoveryFile.h"
#include "program/UpdateRecords.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvane {
namespace {

using image_test::TempDirectory;

constexpr int64_t kNow = 1'765'000'000;

UpdateRecord Record(const std::string &location, const std::string &serial = "SN-1") {
  return {location, serial, "Orvane-R62", "/home/u/fw/Orvane_R62.hex", 262144, 0x1A2B, kNow - 60};
}

TEST(UpdateRecordsTest, ARecordIsFoundByItsPlaceOrSerialNumberForAWeek) {
  TempDirectory dir;
  UpdateRecords records(dir.path().string() + "/state/orvane-updater");
  ASSERT_TRUE(records.Save(Record("1-4.2"))) << records.Error();
  EXPECT_EQ(records.Find("1-4.2", "", kNow), Record("1-4.2"));
  EXPECT_EQ(records.Find("1-5", "SN-1", kNow), Record("1-4.2")) << "moved to another port, same serial number";
  EXPECT_FALSE(records.Find("1-5", "SN-2", kNow));
  EXPECT_FALSE(records.Find("1-5", "", kNow)) << "no serial number, another place";
  EXPECT_TRUE(records.Find("1-4.2", "", kNow - 60 + kRecordLifetimeSeconds));
  EXPECT_FALSE(records.Find("1-4.2", "", kNow - 59 + kRecordLifetimeSeconds)) << "older than a week";
  EXPECT_FALSE(records.Find("1-4.2", "", kNow - 120)) << "dated in the future of the clock";

  records.Clear("1-4.2", "SN-1");
  EXPECT_FALSE(records.Find("1-4.2", "SN-1", kNow));
}

TEST(UpdateRecordsTest, ClearingADeviceForgetsItsRecordsUnderItsSerialNumberElsewhere) {
  TempDirectory dir;
  UpdateRecords records(dir.path().string());
  ASSERT_TRUE(records.Save(Record("1-4.2", "SN-1")));
  ASSERT_TRUE(records.Save(Record("1-5", "SN-2")));
  records.Clear("1-7", "SN-1");
  EXPECT_FALSE(records.Find("1-4.2", "", kNow));
  EXPECT_TRUE(records.Find("1-5", "", kNow));
}

TEST(UpdateRecordsTest, WithoutAFolderNothingIsKeptOrFound) {
  UpdateRecords records{std::string()};
  EXPECT_FALSE(records.Save(Record("1-4.2")));
  EXPECT_FALSE(records.Find("1-4.2", "SN-1", kNow));
}

TEST(UpdateRecordsTest, TheTextReadsBackAndDamagedTextIsNoRecord) {
  const UpdateRecord record = Record("vusb-dongle_1");
  EXPECT_EQ(UpdateRecords::Parse(UpdateRecords::Text(record)), record);
  for (const char *damaged :
       {"", "location=x\n", "location=x\nserial=\nmodel=\nfile=f\nsize=1\nchecksum=zz\nstarted=1\n",
        "location=x\nlocation=y\nserial=\nmodel=\nfile=f\nsize=1\nchecksum=1\nstarted=1\n",
        "location=\nserial=\nmodel=\nfile=f\nsize=1\nchecksum=1\nstarted=1\n"})
    EXPECT_FALSE(UpdateRecords::Parse(damaged)) << damaged;
  TempDirectory dir;
  UpdateRecords records(dir.path().string());
  UpdateRecord broken = record;
  broken.file = "/home/u/a\nstarted=0";
  EXPECT_FALSE(records.Save(broken)) << "a line break would let a file name forge a field";
}

#ifndef _WIN32
// The records folder is the user's own: a record someone else made, or a
// link in a record's place, names no file to be written onto a device.
TEST(UpdateRecordsTest, APlantedLinkOrAnotherUsersRecordIsNotTaken) {
  TempDirectory dir;
  const std::string folder = dir.path().string() + "/records";
  UpdateRecords records(folder);
  ASSERT_TRUE(records.Save(Record("1-4.2")));
  EXPECT_EQ((std::filesystem::status(folder).permissions() & std::filesystem::perms::others_all),
            std::filesystem::perms::none);

  const std::string elsewhere = dir.path().string() + "/planted.record";
  {
    std::ofstream planted(elsewhere);
    planted << UpdateRecords::Text(Record("1-9"));
  }
  ASSERT_EQ(::symlink(elsewhere.c_str(), (folder + "/1-9.record").c_str()), 0);
  EXPECT_FALSE(records.Find("1-9", "", kNow)) << "followed a link";

  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((folder + "/1-4.2.record").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(records.Find("1-4.2", "", kNow)) << "took another user's record";
  }
}
#endif

// The file of the record is loaded only as it was when the update began.
TEST(RecoveryFileTest, TheRecordedFileIsLoadedOnlyWhenItIsThereAndUnchanged) {
  TempDirectory dir;
  const std::string path = dir.path().string() + "/Orvane_R62.bin";
  std::vector<uint8_t> bytes(4096);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ImageRecord image;
  FillImageBuffer(image.ImageBuffer, 0xFF);
  UpdateRecord record{"1-4", "", "Orvane-R62", path, 4096, 0, kNow};
  {
    ImageRecord probe = image;
    ASSERT_TRUE(LookUpGivenUpdateFile(probe, path).startEnabled);
    record.checksum = ImageChecksum(probe.ImageBuffer, probe.ImageLength);
  }

  UpdateFileLookupResult result = LookUpRecordedFile(image, record);
  EXPECT_TRUE(result.startEnabled) << result.refusal;
  EXPECT_EQ(result.statusCaption, "Firmware Update file   Orvane_R62.bin    is Ready!");
  EXPECT_EQ(image.ImageLength, 4096u);

  UpdateRecord changed = record;
  changed.checksum ^= 0x0100;
  ImageRecord other;
  result = LookUpRecordedFile(other, changed);
  EXPECT_FALSE(result.startEnabled);
  EXPECT_FALSE(other.UpdateFileLoaded);
  EXPECT_NE(result.refusal.find("has changed since"), std::string::npos) << result.refusal;

  std::filesystem::remove(path);
  result = LookUpRecordedFile(other, record);
  EXPECT_FALSE(result.startEnabled);
  EXPECT_EQ(result.refusal, "The update of Orvane-R62 was interrupted, and its file " + path + " is gone");
}

} // namespace
} // namespace orvane
