#include "isp/FlashReadBack.h"
#include "sequence_rig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace orvane::test {
namespace {

struct ReadBackRig : SequenceRig {
  using SequenceRig::SequenceRig;

  // The read-back sends no ISP entry of its own: the chip is put into ISP
  // mode first, as the Enter ISP button does.
  bool Read() {
    EXPECT_TRUE(usb.Open());
    EXPECT_TRUE(commands.SetIspMode(true));
    transport.ClearTransfers();
    const bool consistent = FlashReadBack(buffer).ReadBackRange(commands, view, 0, kReadBackEnd);
    usb.Close();
    return consistent;
  }
  // Every read of the 64-byte block at address fails on the way.
  void FailReadsOf(uint32_t address) {
    transport.SetScriptHook(
        [address](const std::string &, const SetupPacket &setup, uint8_t *data) -> std::optional<TransferResult> {
          const bool readQuery =
              !setup.isIn() && setup.request == vendor::kFlashQuery && setup.length == 4 && data[0] == flashop::kRead;
          if (readQuery && (uint32_t{data[1]} << 16 | uint32_t{data[2]} << 8 | data[3]) == address)
            return TransferResult{TransferStatus::Failed, 0};
          return std::nullopt;
        });
  }

  std::vector<uint8_t> buffer = std::vector<uint8_t>(kImageBufferSize, 0);
};

std::string Row(const std::vector<uint8_t> &bytes, size_t from) {
  std::string row;
  for (size_t i = from; i < from + 16; ++i) {
    char entry[8];
    std::snprintf(entry, sizeof entry, "0x%02X, ", bytes[i]);
    row += entry;
  }
  return row + '\r';
}

std::string FileText(const std::filesystem::path &path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(ReadBackTest, AnErasedFlashGives2048RowsOfSixteenFFEntries) {
  ReadBackRig rig("C22012");
  ASSERT_TRUE(rig.Read());
  const std::string text = ReadBackText(rig.buffer, kReadBackEnd);
  ASSERT_EQ(text.size(), 2048u * 97);
  std::string row;
  for (int i = 0; i < 16; ++i)
    row += "0xFF, ";
  row += '\r';
  for (size_t at = 0; at < text.size(); at += 97)
    ASSERT_EQ(text.compare(at, 97, row), 0) << "row at " << at;
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(ReadBackTest, EveryBlockIsReadTwiceAndAnInconsistentReadIsRepeated) {
  const auto firmware = ImageBytes(0x9000);
  ReadBackRig rig("EF4012", firmware);
  rig.chip.Flash().Faults().FlipOnRead(0x2345, 0x40, false); // one bad read

  ASSERT_TRUE(rig.Read());
  EXPECT_TRUE(std::equal(firmware.begin(), firmware.begin() + kReadBackEnd, rig.buffer.begin()));
  size_t reads = 0;
  for (const auto &t : rig.transport.Transfers())
    reads += !t.setup.isIn() && t.setup.request == vendor::kFlashQuery && t.out.size() == 4;
  EXPECT_EQ(reads, 2 * (kReadBackEnd / 64) + 2) << "the block that read differently is read twice more";
  EXPECT_EQ(ReadBackText(rig.buffer, 32), Row(firmware, 0) + Row(firmware, 16));
}

// A block's last byte is compared between the two reads as any other.
TEST(ReadBackTest, AReadThatDiffersOnlyInABlocksLastByteIsRepeated) {
  const auto firmware = ImageBytes(0x9000);
  ReadBackRig rig("EF4012", firmware);
  rig.chip.Flash().Faults().FlipOnRead(0x237F, 0x02, false); // one bad read

  ASSERT_TRUE(rig.Read());
  EXPECT_EQ(rig.buffer[0x237F], firmware[0x237F]) << "the bad read is not what the read-back shows";
  EXPECT_TRUE(std::equal(firmware.begin(), firmware.begin() + kReadBackEnd, rig.buffer.begin()));
}

TEST(ReadBackTest, ABlockThatNeverReadsStopsTheReadingAndLeaves5AFromThere) {
  const auto firmware = ImageBytes(0x9000);
  ReadBackRig rig("C22012", firmware);
  std::fill(rig.buffer.begin(), rig.buffer.end(), 0x11); // an older read-back
  rig.FailReadsOf(0x4000);

  EXPECT_FALSE(rig.Read());
  EXPECT_EQ(rig.view.info.texts.back(), "Verifying Fail at 0x004000");
  EXPECT_TRUE(std::equal(firmware.begin(), firmware.begin() + 0x4000, rig.buffer.begin()));
  EXPECT_TRUE(
      std::all_of(rig.buffer.begin() + 0x4000, rig.buffer.begin() + kReadBackEnd, [](uint8_t b) { return b == 0x5A; }));
  const std::string text = ReadBackText(rig.buffer, kReadBackEnd);
  EXPECT_EQ(text.substr(0x400 * 97, 97), Row(std::vector<uint8_t>(16, 0x5A), 0));
  EXPECT_EQ(text.substr(0x3FF * 97, 97), Row(firmware, 0x3FF0));
}

// Only two reads that went through and agree make a block consistent: a
// flipped first read whose second read failed is read again.
TEST(ReadBackTest, AFailedSecondReadDoesNotPassTheFirstForConsistent) {
  const auto firmware = ImageBytes(0x9000);
  ReadBackRig rig("C22012", firmware);
  rig.chip.Flash().Faults().FlipOnRead(0x1010, 0x40, false);
  int readsOfTheBlock = 0;
  rig.transport.SetScriptHook([&](const std::string &, const SetupPacket &setup,
                                  uint8_t *data) -> std::optional<TransferResult> {
    const bool readQuery =
        !setup.isIn() && setup.request == vendor::kFlashQuery && setup.length == 4 && data[0] == flashop::kRead;
    if (readQuery && (uint32_t{data[1]} << 16 | uint32_t{data[2]} << 8 | data[3]) == 0x1000 && ++readsOfTheBlock == 2)
      return TransferResult{TransferStatus::Failed, 0};
    return std::nullopt;
  });

  ASSERT_TRUE(rig.Read());
  EXPECT_EQ(readsOfTheBlock, 4) << "the block is read again after its failed second read";
  EXPECT_TRUE(std::equal(firmware.begin(), firmware.begin() + kReadBackEnd, rig.buffer.begin()));
}

TEST(ReadBackFileTest, TheFileHoldsTheRowsExactly) {
  const auto dir = std::filesystem::temp_directory_path() / ("readback-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::vector<uint8_t> buffer = ImageBytes(kImageBufferSize);
  std::string error;
  ASSERT_TRUE(WriteReadBackFile((dir / "flash.bin").string(), buffer, kReadBackEnd, &error)) << error;
  EXPECT_EQ(FileText(dir / "flash.bin"), ReadBackText(buffer, kReadBackEnd));
  // Overwritten, not appended.
  ASSERT_TRUE(WriteReadBackFile((dir / "flash.bin").string(), buffer, 16, &error));
  EXPECT_EQ(FileText(dir / "flash.bin"), Row(buffer, 0));
  std::filesystem::remove_all(dir);
}

TEST(ReadBackFileTest, AFileThatCannotBeCreatedOrWrittenIsReported) {
  const std::vector<uint8_t> buffer(kImageBufferSize, 0xFF);
  std::string error;
  EXPECT_FALSE(WriteReadBackFile("/nonexistent-dir/flash.bin", buffer, kReadBackEnd, &error));
  EXPECT_NE(error.find("/nonexistent-dir/flash.bin"), std::string::npos);
  error.clear();
  EXPECT_FALSE(WriteReadBackFile("/dev/full", buffer, kReadBackEnd, &error)) << "no room for the rows";
  EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace orvane::test
