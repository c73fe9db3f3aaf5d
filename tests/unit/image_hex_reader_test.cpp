#include "image_test_files.h"
#include "isp/ImageFileLoaders.h"
#include "isp/IntelHexParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <sstream>

namespace orvane {
namespace {

using namespace image_test;

class HexReaderTest : public ::testing::Test {
protected:
  // Loads text as a HEX file into image.
  ImageLoadResult Load(const std::string &text) {
    const std::string path = dir.File("image.hex");
    WriteFile(path, text);
    return LoadHexImage(image, path);
  }

  // The image holds bytes from base on, erased flash around them.
  void ExpectImage(const std::vector<uint8_t> &bytes, uint32_t base) {
    ASSERT_EQ(image.ImageBuffer.size(), kImageBufferSize);
    EXPECT_TRUE(
        std::all_of(image.ImageBuffer.begin(), image.ImageBuffer.begin() + base, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.ImageBuffer.begin() + base));
    EXPECT_TRUE(std::all_of(image.ImageBuffer.begin() + base + static_cast<long>(bytes.size()), image.ImageBuffer.end(),
                            [](uint8_t b) { return b == 0xFF; }));
  }

  TempDirectory dir;
  ImageRecord image = EarlierImage();
};

// Files written by srec_cat from random data placed at base.
struct SrecCatFile {
  const char *what;
  size_t size;
  uint32_t base;
  std::string outputOptions;
  std::string addressRecord; // a record the file must hold; empty: no extended records at all
};

// Test names and failure messages name a case, not its bytes.
void PrintTo(const SrecCatFile &file, std::ostream *out) {
  *out << file.what;
}

class SrecCatFileTest : public HexReaderTest, public ::testing::WithParamInterface<SrecCatFile> {};

TEST_P(SrecCatFileTest, LoadsTheDataAtItsAddress) {
  ORVANE_NEEDS_SREC_CAT();
  const SrecCatFile &file = GetParam();
  const auto bytes = RandomBytes(file.size, static_cast<uint32_t>(file.size));
  const std::string path = dir.File("tool.hex");
  SrecCat(bytes, path, "-offset " + std::to_string(file.base), file.outputOptions);
  const std::string text = ReadFile(path);
  if (file.addressRecord.empty())
    ASSERT_EQ(text.find(":020000"), std::string::npos);
  else
    ASSERT_NE(text.find(file.addressRecord), std::string::npos);

  const ImageLoadResult result = LoadHexImage(image, path);
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, file.base + file.size);
  // Erased bytes below the data count in the checksum.
  EXPECT_EQ(result.checksum, static_cast<uint16_t>(file.base * 0xFF + Sum16(bytes, 0, bytes.size())));
  ExpectImage(bytes, file.base);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, SrecCatFileTest,
    ::testing::Values(SrecCatFile{"SixteenBit", 40000, 0, "-address-length=2", ""},
                      SrecCatFile{"SixteenBitShortRecords", 3000, 0x1000, "-address-length=2 -Output_Block_Size=8", ""},
                      SrecCatFile{"LinearBeyond64K", 200000, 0, "-Output_Block_Size=16", ":020000040002F8"},
                      SrecCatFile{"LinearHigh", 3000, 0x30000, "", ":020000040003F7"},
                      SrecCatFile{"LinearToTheLastByte", 0x8000, 0x38000, "-Output_Block_Size=255", ":020000040003F7"},
                      SrecCatFile{"Segment", 70000, 0x100, "-address-length=3", ":020000021000EC"}),
    [](const ::testing::TestParamInfo<SrecCatFile> &info) { return std::string(info.param.what); });

TEST_F(HexReaderTest, LowerCaseDigitsAndCrLfLineEnds) {
  ORVANE_NEEDS_SREC_CAT();
  const auto bytes = RandomBytes(5000, 5);
  const std::string path = dir.File("lower.hex");
  SrecCat(bytes, path, "", "-crlf");
  std::string text = ReadFile(path);
  std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
  ASSERT_NE(text.find("\r\n"), std::string::npos);

  const ImageLoadResult result = Load(text);
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 5000u);
  ExpectImage(bytes, 0);
}

TEST_F(HexReaderTest, OverlappingRecordsThatDisagreeRefuseTheFile) {
  ORVANE_NEEDS_SREC_CAT();
  const auto first = RandomBytes(1000, 6);
  const auto second = RandomBytes(100, 7);
  SrecCat(first, dir.File("first.hex"), "", "-address-length=2");
  SrecCat(second, dir.File("second.hex"), "-offset 0x200", "-address-length=2");
  std::string text = ReadFile(dir.File("first.hex"));
  text.erase(text.find(":00000001FF")); // the second file's records follow the first's data
  text += ReadFile(dir.File("second.hex"));

  const ImageRecord before = image;
  const ImageLoadResult result = Load(text);
  EXPECT_FALSE(result.loaded);
  EXPECT_TRUE(result.error.ends_with(": address 0x000200 is given twice")) << result.error;
  ExpectImageKept(before, image);
}

TEST_F(HexReaderTest, SingleRecordGivesLengthAndChecksumOverTheGap) {
  const ImageLoadResult result = Load(":040010001122334442\n:00000001FF\n");
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 0x14u);
  EXPECT_EQ(result.checksum, 0x109A);
  ExpectImage({0x11, 0x22, 0x33, 0x44}, 0x10);
}

TEST_F(HexReaderTest, RecordAtTopOf16BitAddressesRunsOnPast64K) {
  std::vector<uint8_t> data(0xFF);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i);
  const ImageLoadResult result = Load(Record(0x00, 0xFFFF, data) + kEndRecord);
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 0x100FEu);
  EXPECT_EQ(image.ImageBuffer[0x100FD], 0xFE);
  EXPECT_EQ(image.ImageBuffer[0x100FE], 0xFF);
  ExpectImage(data, 0xFFFF);
}

TEST_F(HexReaderTest, SegmentAddressingWrapsWithinItsSegment) {
  // Segment 0x1000 is base 0x10000; a record at offset 0xFFFE wraps to the
  // segment's start after two bytes, as Intel's segment arithmetic does.
  const ImageLoadResult result =
      Load(Record(0x02, 0, {0x10, 0x00}) + Record(0x00, 0xFFFE, {0xA1, 0xA2, 0xA3, 0xA4}) + kEndRecord);
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageBuffer[0x1FFFE], 0xA1);
  EXPECT_EQ(image.ImageBuffer[0x1FFFF], 0xA2);
  EXPECT_EQ(image.ImageBuffer[0x10000], 0xA3);
  EXPECT_EQ(image.ImageBuffer[0x10001], 0xA4);
  EXPECT_EQ(image.ImageBuffer[0x20000], 0xFF);
  EXPECT_EQ(image.ImageLength, 0x20000u);
}

TEST_F(HexReaderTest, StartAddressRecordsAreSkippedAndTheEndRecordIsLast) {
  const ImageLoadResult result = Load(Record(0x03, 0, {0x12, 0x34, 0x56, 0x78}) + Record(0x00, 0x0000, {0x5A}) +
                                      Record(0x05, 0, {0x00, 0x00, 0x01, 0x00}) + kEndRecord + "\n \r\n");
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 1u);
  ExpectImage({0x5A}, 0);
}

TEST_F(HexReaderTest, BlankLinesAndBlanksAroundRecordsAreAllowed) {
  const ImageLoadResult result =
      Load("  \t" + Record(0x00, 0x0002, {0x01, 0x02}) + "\n\t\n" + kEndRecord.substr(0, 11) + " \t\r\n");
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 4u);
  ExpectImage({0x01, 0x02}, 2);
}

TEST_F(HexReaderTest, OverlappingRecordsThatAgreeAreTaken) {
  const ImageLoadResult result =
      Load(Record(0x00, 0x0010, {0x01, 0x02, 0x03}) + Record(0x00, 0x0011, {0x02, 0x03, 0x04}) + kEndRecord);
  ASSERT_TRUE(result.loaded) << result.error;
  ExpectImage({0x01, 0x02, 0x03, 0x04}, 0x10);
}

// Each malformed file is refused with the line of the offending record,
// and the image that was loaded before is kept as it was.
struct Malformed {
  const char *what;
  std::string text;
  std::string error;
};

void PrintTo(const Malformed &file, std::ostream *out) {
  *out << file.what;
}

class HexRefusalTest : public HexReaderTest, public ::testing::WithParamInterface<Malformed> {};

TEST_P(HexRefusalTest, RefusedWithReasonAndEarlierImageKept) {
  const ImageRecord before = image;
  ExpectRefused(Load(GetParam().text), GetParam().error, before, image);
}

const std::string kGood = Record(0x00, 0x0000, {0x01, 0x02, 0x03, 0x04});

INSTANTIATE_TEST_SUITE_P(
    Malformed, HexRefusalTest,
    ::testing::Values(
        Malformed{"BadChecksum", kGood + ":0400040011223344AA\n" + kEndRecord,
                  "line 2: the record checksum does not match"},
        // 0x4E is right: one digit off, in either place, is as wrong.
        Malformed{"ChecksumHighDigit", kGood + ":04000400112233445E\n" + kEndRecord,
                  "line 2: the record checksum does not match"},
        Malformed{"ChecksumLowDigit", kGood + kGood + ":04000400112233444F\n" + kEndRecord,
                  "line 3: the record checksum does not match"},
        // Lines that end in a carriage return alone are counted as lines.
        Malformed{"CarriageReturnLines",
                  kGood.substr(0, kGood.size() - 1) + "\r" + kGood.substr(0, kGood.size() - 1) +
                      "\r:04000400112233445E\r" + kEndRecord,
                  "line 3: the record checksum does not match"},
        Malformed{"NonHexCharacter", kGood + kGood + ":04000800112G334442\n" + kEndRecord,
                  "line 3: 'G' is not a hexadecimal digit"},
        Malformed{"Blank", kGood + ":04000800 1122334442\n" + kEndRecord,
                  "line 2: character 0x20 is not a hexadecimal digit"},
        Malformed{"ShortRecord", kGood + ":0400080011223342\n" + kEndRecord,
                  "line 2: the record is shorter than its byte count says"},
        Malformed{"EndsInsideRecord", kGood + ":04000800112233",
                  "line 2: the record is shorter than its byte count says"},
        Malformed{"BeyondImage", kGood + Record(0x04, 0, {0x00, 0x04}) + Record(0x00, 0, {0x01}) + kEndRecord,
                  "line 3: data at address 0x00040000 lies beyond the 262144-byte image"},
        Malformed{"StraddlesImageEnd", Record(0x04, 0, {0x00, 0x03}) + Record(0x00, 0xFFFE, {1, 2, 3}) + kEndRecord,
                  "line 2: data at address 0x00040000 lies beyond the 262144-byte image"},
        Malformed{"HugeLinearBase", Record(0x04, 0, {0xFF, 0xFF}) + Record(0x00, 0xFFFF, {1}) + kEndRecord,
                  "line 2: data at address 0xFFFFFFFF lies beyond the 262144-byte image"},
        Malformed{"UnknownType", kGood + Record(0x06, 0, {}) + kEndRecord,
                  "line 2: record type 06 is not an Intel HEX record type"},
        Malformed{"BadAddressRecord", Record(0x04, 0, {0x00}) + kGood + kEndRecord,
                  "line 1: an extended address record must hold two bytes"},
        Malformed{"LongAddressRecord", kGood + Record(0x02, 0, {0x10, 0x00, 0x00}) + kEndRecord,
                  "line 2: an extended address record must hold two bytes"},
        Malformed{"EndRecordWithData", kGood + Record(0x01, 0, {0x00}), "line 2: the end record holds data"},
        Malformed{"NoEndRecord", kGood + kGood, "the file ends without an end record (:00000001FF)"},
        Malformed{"NoData", kEndRecord, "the file holds no data"},
        Malformed{"NotHexAtAll", "just some text\n",
                  "line 1: 'j' begins the line, which is no record (a record begins with ':')"},
        // A record whose colon was lost in a damaged download is not a gap.
        Malformed{"LostColon", kGood + Record(0x00, 0x0004, {0x05, 0x06}).substr(1) + kEndRecord,
                  "line 2: '0' begins the line, which is no record (a record begins with ':')"},
        Malformed{"TextBefore", "firmware v2\n" + kGood + kEndRecord,
                  "line 1: 'f' begins the line, which is no record (a record begins with ':')"},
        Malformed{"TextAfterRecord", kGood.substr(0, kGood.size() - 1) + " ; data\n" + kEndRecord,
                  "line 1: ';' follows the record"},
        Malformed{"LongerThanItsCount", kGood.substr(0, kGood.size() - 1) + "00\n" + kEndRecord,
                  "line 1: the record is longer than its byte count says"},
        Malformed{"TextAfterEnd", kGood + kEndRecord + "\n" + Record(0x00, 0x0001, {0x77}),
                  "line 4: text follows the end record"},
        Malformed{"AddressGivenTwice",
                  kGood + Record(0x00, 0x1232, {0x11, 0x22, 0x33}) + Record(0x00, 0x1234, {0x44}) + kEndRecord,
                  "line 3: address 0x001234 is given twice"},
        Malformed{"Empty", "", "the file is empty"}),
    [](const ::testing::TestParamInfo<Malformed> &info) { return std::string(info.param.what); });

TEST_F(HexReaderTest, FileThatCannotBeOpenedIsRefused) {
  const ImageRecord before = image;
  ExpectRefused(LoadHexImage(image, dir.File("missing.hex")), "the file does not exist", before, image);
}

} // namespace
} // namespace orvane

namespace orvane {
namespace {

// Damaged copies of a real file: every outcome is either a whole image or a
// refusal with a reason, and nothing is written outside the buffer.
TEST(HexReaderDamageTest, DamagedFilesAreLoadedWholeOrRefusedWithAReason) {
  ORVANE_NEEDS_SREC_CAT();
  image_test::TempDirectory dir;
  const std::string path = dir.File("source.hex");
  image_test::SrecCat(image_test::RandomBytes(600, 21), path, "-offset 0x3FD00", "-Output_Block_Size=32");
  const std::string original = image_test::ReadFile(path);
  {
    std::istringstream in(original);
    std::vector<uint8_t> buffer(kImageBufferSize, 0xFF);
    ASSERT_TRUE(ParseIntelHex(in, buffer).ok);
  }
  const std::string alphabet = ":0123456789ABCDEFabcdefG \r\n\xFF";
  std::mt19937 generator(5);
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::string text = original;
    for (int edits = 1 + static_cast<int>(generator() % 3); edits > 0; --edits) {
      const size_t at = generator() % text.size();
      switch (generator() % 3) {
      case 0:
        text[at] = alphabet[generator() % alphabet.size()];
        break;
      case 1:
        text.erase(at, 1 + generator() % 8);
        break;
      default:
        text.insert(at, 1, alphabet[generator() % alphabet.size()]);
      }
    }
    std::istringstream in(text);
    std::vector<uint8_t> buffer(kImageBufferSize, 0xFF);
    const IntelHexOutcome outcome = ParseIntelHex(in, buffer);
    ASSERT_EQ(buffer.size(), kImageBufferSize);
    if (outcome.ok) {
      EXPECT_EQ(outcome.error, "");
      EXPECT_LE(outcome.length, kImageBufferSize);
    } else {
      EXPECT_NE(outcome.error, "");
      ++refused;
    }
  }
  EXPECT_GT(refused, 300); // nearly every damage is caught by a record checksum or the layout
}

} // namespace
} // namespace orvane
