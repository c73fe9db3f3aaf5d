#include "isp/IntelHexParser.h"

#include "isp/HexText.h"
#include "isp/HexTextToInt.h"
#include "isp/ImageRecord.h"

#include <algorithm>
#include <array>
#include <string>

namespace orvane {
namespace {

enum RecordType : uint8_t {
  kData = 0x00,
  kEndOfFile = 0x01,
  kExtendedSegmentAddress = 0x02,
  kStartSegmentAddress = 0x03,
  kExtendedLinearAddress = 0x04,
  kStartLinearAddress = 0x05,
};

struct Record {
  uint8_t count = 0;
  uint16_t address = 0;
  uint8_t type = 0;
  std::array<uint8_t, 255> data{};
};

std::string Describe(int c) {
  if (c > 0x20 && c < 0x7F)
    return std::string("'") + static_cast<char>(c) + "'";
  return "character 0x" + Hex2(static_cast<uint32_t>(c));
}

class IntelHexParser {
public:
  IntelHexParser(std::istream &text, std::vector<uint8_t> &buffer) : text_(*text.rdbuf()), buffer_(buffer) {}

  IntelHexOutcome Run() {
    // Every line holds one record or nothing but blanks: a line whose colon
    // was lost in a damaged download must not pass as a gap of 0xFF bytes.
    for (int c = SkipBlanks(); c != kEnd; c = SkipBlanks()) {
      if (c == '\r' || c == '\n')
        continue;
      recordLine_ = line_;
      if (ended_)
        return Refused(Failed("text follows the end record"));
      if (c != ':')
        return Refused(Failed(Describe(c) + " begins the line, which is no record (a record begins with ':')"));
      Record record;
      if (!ReadRecord(record) || !Apply(record) || !RestOfLineBlank())
        return Refused(error_);
    }
    if (!ended_)
      return Refused("the file ends without an end record (:00000001FF)");
    if (!heldData_)
      return Refused("the file holds no data");
    return IntelHexOutcome{true, highest_, {}};
  }

private:
  static constexpr int kEnd = std::char_traits<char>::eof();

  int Next() {
    const int c = text_.sbumpc();
    // A lone carriage return ends a line as well as a line feed does.
    if (c == '\n' || (c == '\r' && text_.sgetc() != '\n'))
      ++line_;
    return c;
  }

  bool Fail(const std::string &why) {
    error_ = "line " + std::to_string(recordLine_) + ": " + why;
    return false;
  }
  const std::string &Failed(const std::string &why) {
    Fail(why);
    return error_;
  }

  // The next character that is not a blank or a tab.
  int SkipBlanks() {
    int c = Next();
    while (c == ' ' || c == '\t')
      c = Next();
    return c;
  }

  bool RestOfLineBlank() {
    const int c = SkipBlanks();
    if (c == kEnd || c == '\r' || c == '\n')
      return true;
    if (HexDigitValue(static_cast<char>(c)) >= 0)
      return Fail("the record is longer than its byte count says");
    return Fail(Describe(c) + " follows the record");
  }

  bool ReadByte(uint8_t &value, uint32_t &sum) {
    int digits[2];
    for (int &digit : digits) {
      const int c = Next();
      if (c == kEnd || c == '\r' || c == '\n')
        return Fail("the record is shorter than its byte count says");
      digit = HexDigitValue(static_cast<char>(c));
      if (digit < 0)
        return Fail(Describe(c) + " is not a hexadecimal digit");
    }
    value = static_cast<uint8_t>(digits[0] * 16 + digits[1]);
    sum += value;
    return true;
  }

  bool ReadRecord(Record &record) {
    uint32_t sum = 0;
    uint8_t high = 0, low = 0, checksum = 0;
    if (!ReadByte(record.count, sum) || !ReadByte(high, sum) || !ReadByte(low, sum) || !ReadByte(record.type, sum))
      return false;
    record.address = static_cast<uint16_t>(high << 8 | low);
    for (int i = 0; i < record.count; ++i)
      if (!ReadByte(record.data[static_cast<size_t>(i)], sum))
        return false;
    if (!ReadByte(checksum, sum))
      return false;
    if ((sum & 0xFF) != 0)
      return Fail("the record checksum does not match");
    return true;
  }

  bool Apply(const Record &record) {
    switch (record.type) {
    case kData:
      return StoreData(record);
    case kEndOfFile:
      if (record.count != 0)
        return Fail("the end record holds data");
      ended_ = true;
      return true;
    case kExtendedSegmentAddress:
    case kExtendedLinearAddress: {
      if (record.count != 2)
        return Fail("an extended address record must hold two bytes");
      const uint64_t value = static_cast<uint64_t>(record.data[0] << 8 | record.data[1]);
      segmented_ = record.type == kExtendedSegmentAddress;
      base_ = segmented_ ? value << 4 : value << 16;
      return true;
    }
    case kStartSegmentAddress:
    case kStartLinearAddress:
      return true; // where a processor would start means nothing to the flash image
    default:
      return Fail("record type " + Hex2(record.type) + " is not an Intel HEX record type");
    }
  }

  // Segment addressing wraps the offset within its 64 KB segment; linear
  // addressing (and a file without extended records) does not.
  uint64_t Absolute(uint16_t address, int index) const {
    const uint64_t offset = static_cast<uint64_t>(address) + static_cast<uint64_t>(index);
    return base_ + (segmented_ ? offset & 0xFFFF : offset);
  }

  bool StoreData(const Record &record) {
    // A record without data still stretches the image to its address.
    uint64_t end = Absolute(record.address, 0);
    for (int i = 0; i < record.count; ++i) {
      const uint64_t at = Absolute(record.address, i);
      if (at >= kImageBufferSize)
        return Beyond(at);
      const uint8_t value = record.data[static_cast<size_t>(i)];
      // Overlapping records may repeat a byte, never contradict one.
      if (given_[static_cast<size_t>(at)] && buffer_[static_cast<size_t>(at)] != value)
        return Fail("address 0x" + Hex6(static_cast<uint32_t>(at)) + " is given twice");
      given_[static_cast<size_t>(at)] = true;
      buffer_[static_cast<size_t>(at)] = value;
      end = std::max(end, at + 1);
    }
    if (end > kImageBufferSize)
      return Beyond(end);
    heldData_ = heldData_ || record.count > 0;
    highest_ = std::max(highest_, static_cast<uint32_t>(end));
    return true;
  }

  bool Beyond(uint64_t address) {
    return Fail("data at address 0x" + HexDigits(static_cast<uint32_t>(address & 0xFFFFFFFF), 8) + " lies beyond the " +
                std::to_string(kImageBufferSize) + "-byte image");
  }

  static IntelHexOutcome Refused(const std::string &why) { return IntelHexOutcome{false, 0, why}; }

  std::streambuf &text_;
  std::vector<uint8_t> &buffer_;
  std::vector<bool> given_ = std::vector<bool>(kImageBufferSize, false);
  int line_ = 1;
  int recordLine_ = 1;
  std::string error_;
  uint64_t base_ = 0;
  bool segmented_ = false;
  bool ended_ = false;
  bool heldData_ = false;
  uint32_t highest_ = 0;
};

} // namespace

IntelHexOutcome ParseIntelHex(std::istream &text, std::vector<uint8_t> &buffer) {
  if (buffer.size() < kImageBufferSize)
    FillImageBuffer(buffer, 0xFF);
  return IntelHexParser(text, buffer).Run();
}

} // namespace orvane
