#include "sim/IntelHexWriter.h"
#include "sim/SampleFirmware.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>

namespace orvane::sim {
namespace {

struct ParsedHex {
  std::map<uint32_t, uint8_t> bytes;
  std::vector<std::string> lines;
  bool checksumsOk = true;
  bool ended = false;
};

// Reads Intel HEX honouring extended linear addresses.
ParsedHex ParseHex(const std::string &text) {
  ParsedHex parsed;
  std::istringstream in(text);
  std::string line;
  uint32_t upper = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    parsed.lines.push_back(line);
    std::vector<uint8_t> fields;
    for (size_t i = 1; i + 1 < line.size(); i += 2)
      fields.push_back(static_cast<uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
    uint8_t sum = 0;
    for (uint8_t f : fields)
      sum = static_cast<uint8_t>(sum + f);
    parsed.checksumsOk = parsed.checksumsOk && sum == 0 && fields.size() == fields[0] + 5u;
    const uint32_t address = upper | (fields[1] << 8 | fields[2]);
    if (fields[3] == 0x00)
      for (size_t i = 0; i < fields[0]; ++i)
        parsed.bytes[address + static_cast<uint32_t>(i)] = fields[4 + i];
    else if (fields[3] == 0x04)
      upper = static_cast<uint32_t>(fields[4] << 8 | fields[5]) << 16;
    else if (fields[3] == 0x01)
      parsed.ended = true;
  }
  return parsed;
}

TEST(SampleFirmwareTest, DeterministicPerModelWithMarkerAndErasedStretch) {
  const auto r62 = *FindSimModel("Orvane-R62");
  const auto image = GenerateSampleFirmware(r62);
  EXPECT_EQ(image, GenerateSampleFirmware(r62));
  EXPECT_NE(image, GenerateSampleFirmware(*FindSimModel("Orvane-R61")));
  ASSERT_EQ(image.size(), kSampleFirmwareBytes);
  EXPECT_GT(image.size(), 0x10000u);

  const std::string marker = "VXUSB_Table01";
  const auto found = std::search(image.begin(), image.end(), marker.begin(), marker.end());
  ASSERT_NE(found, image.end());
  EXPECT_EQ(found - image.begin(), kSampleParameterTableOffset);
  EXPECT_EQ(image[0], 0x02) << "starts with a jump, so the flash reads as holding firmware";
  EXPECT_TRUE(std::all_of(image.begin() + kSampleUnusedBegin, image.begin() + kSampleUnusedEnd,
                          [](uint8_t b) { return b == 0xFF; }));
  const std::string name = "Orvane-R62";
  EXPECT_NE(std::search(image.end() - 256, image.end(), name.begin(), name.end()), image.end());
  EXPECT_EQ(SampleFirmwareFileName(r62, ".hex"), "Orvane_R62.hex");
}

TEST(SampleFirmwareTest, SmallSizesStayInBounds) {
  const auto model = DefaultSimModel();
  EXPECT_TRUE(GenerateSampleFirmware(model, 0).empty());
  EXPECT_EQ(GenerateSampleFirmware(model, 5).size(), 5u);
  EXPECT_EQ(GenerateSampleFirmware(model, 0x3005).size(), 0x3005u);
}

TEST(IntelHexWriterTest, RoundTripsWithExtendedLinearAddresses) {
  const auto image = GenerateSampleFirmware(DefaultSimModel());
  const std::string text = WriteIntelHex(image.data(), image.size());
  const auto parsed = ParseHex(text);
  EXPECT_TRUE(parsed.checksumsOk);
  EXPECT_TRUE(parsed.ended);
  EXPECT_EQ(parsed.lines.back(), ":00000001FF");
  ASSERT_EQ(parsed.bytes.size(), image.size());
  for (const auto &[address, value] : parsed.bytes)
    ASSERT_EQ(value, image[address]) << address;
  EXPECT_NE(std::find(parsed.lines.begin(), parsed.lines.end(), ":020000040001F9"), parsed.lines.end());
  EXPECT_EQ(parsed.lines.front().substr(0, 9), ":10000000") << "no address record needed for the first 64 KB";
}

TEST(IntelHexWriterTest, RecordsStopAtSegmentBoundaries) {
  std::vector<uint8_t> bytes(16);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i);
  const auto parsed = ParseHex(WriteIntelHex(bytes.data(), bytes.size(), 0x1FFF8));
  ASSERT_EQ(parsed.lines.size(), 5u);
  EXPECT_EQ(parsed.lines[0], ":020000040001F9");
  EXPECT_EQ(parsed.lines[1].substr(0, 9), ":08FFF800");
  EXPECT_EQ(parsed.lines[2], ":020000040002F8");
  EXPECT_EQ(parsed.lines[3].substr(0, 9), ":08000000");
  EXPECT_EQ(parsed.bytes.at(0x20000), 8);
}

} // namespace
} // namespace orvane::sim
