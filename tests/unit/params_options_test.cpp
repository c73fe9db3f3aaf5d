#include "panels/ParameterDisplay.h"
#include "panels/ParameterExchange.h"
#include "panels/ParameterOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace orvane {
namespace {

struct BitOption {
  const char *name;
  std::function<void(ParameterRecord &, bool)> set;
  std::function<bool(const ParameterRecord &)> get;
  ParameterRecord mask; // the bits that are this option's own
};

const std::vector<BitOption> &BitOptions() {
  static const std::vector<BitOption> options{
      {"I2S 32 bit", SetI2sOutput32Bit, I2sOutput32Bit, {0x01, 0, 0, 0}},
      {"S/PDIF 32 bit", SetSpdifOutput32Bit, SpdifOutput32Bit, {0x02, 0, 0, 0}},
      {"I2S channel swap", SetI2sChannelSwap, I2sChannelSwap, {0x04, 0, 0, 0}},
      {"DSD channel swap", SetDsdChannelSwap, DsdChannelSwap, {0x08, 0, 0, 0}},
      {"I2S left-justified", SetI2sLeftJustified, I2sLeftJustified, {0x40, 0, 0, 0}},
      {"native DSD", SetNativeDsdOutput, NativeDsdOutput, {0x80, 0, 0, 0}},
      {"MCLK output off", SetMclkOutputOff, MclkOutputOff, {0, 0x80, 0, 0}},
      {"I2S output off", SetI2sOutputOff, I2sOutputOff, {0, 0x40, 0, 0}},
      {"S/PDIF output off", SetSpdifOutputOff, SpdifOutputOff, {0, 0x20, 0, 0}},
  };
  return options;
}

ParameterRecord Inverted(const ParameterRecord &record) {
  ParameterRecord out{};
  for (size_t i = 0; i < record.size(); ++i)
    out[i] = static_cast<uint8_t>(~record[i]);
  return out;
}

TEST(ParameterOptionsTest, EachSwitchSetsAndClearsExactlyItsOwnBit) {
  for (const BitOption &option : BitOptions()) {
    SCOPED_TRACE(option.name);
    ParameterRecord record{};
    option.set(record, true);
    EXPECT_EQ(record, option.mask);
    EXPECT_TRUE(option.get(record));

    record = {0xFF, 0xFF, 0xFF, 0xFF};
    option.set(record, false);
    EXPECT_EQ(record, Inverted(option.mask));
    EXPECT_FALSE(option.get(record));
  }
}

TEST(ParameterOptionsTest, MclkFrequencyIsATwoBitNumberInBitsFourAndFive) {
  ParameterRecord record{0x8B, 0x5A, 0x33, 0x80};
  SetMclkFrequencyIndex(record, 3); // "1024 Fs"
  EXPECT_EQ(record, (ParameterRecord{0xBB, 0x5A, 0x33, 0x80}));
  EXPECT_EQ(MclkFrequencyIndex(record), 3u);

  SetMclkFrequencyIndex(record, 1);
  EXPECT_EQ(record, (ParameterRecord{0x9B, 0x5A, 0x33, 0x80}));
  SetMclkFrequencyIndex(record, 0);
  EXPECT_EQ(record, (ParameterRecord{0x8B, 0x5A, 0x33, 0x80}));

  record = {0xFF, 0, 0, 0};
  SetMclkFrequencyIndex(record, 6); // only the low two bits of the number count
  EXPECT_EQ(record[0], 0xEF);
}

TEST(ParameterOptionsTest, EepromPresenceIsByteThreeBitSeven) {
  EXPECT_TRUE(EepromPresent({0, 0, 0, 0x80}));
  EXPECT_FALSE(EepromPresent({0xFF, 0xFF, 0xFF, 0x7F}));
}

// "control=state" for each step, in order.
std::vector<std::string> Steps(const ParameterRecord &record) {
  std::vector<std::string> steps;
  for (const ControlSetting &setting : ParameterRecordDisplay(record))
    steps.push_back(setting.control + "=" +
                    (setting.kind == ControlSetting::Kind::Caption ? setting.caption
                                                                   : std::string(setting.checked ? "on" : "off")));
  return steps;
}

TEST(ShowParameterRecordTest, ReadBackOfEepromOnlyShowsTheListedStatesInOrder) {
  EXPECT_EQ(
      Steps({0x00, 0x00, 0x00, 0x80}),
      (std::vector<std::string>{"lblEepAvail=EEPROM Exist", "rbnI2Slen1=on", "rbnSPDIFlen1=on", "chkI2SLRSwap=off",
                                "chkDSDLRSwap=off", "rbnI2SFormat0=on", "rbnDSDOut1=on", "rbnMCLKOutFreq0=on",
                                "chkMCLKOutOff=off", "chkI2SOutOff=off", "chkSPDIFOutOff=off"}));
}

TEST(ShowParameterRecordTest, StartRecordShowsI2s32Bit512FsStandardDsdAndNoEeprom) {
  EXPECT_EQ(
      Steps(kStartParameterRecord),
      (std::vector<std::string>{"lblEepAvail=EEPROM not Available", "rbnI2Slen0=on", "rbnSPDIFlen1=on",
                                "chkI2SLRSwap=off", "chkDSDLRSwap=off", "rbnI2SFormat0=on", "rbnDSDOut0=on",
                                "rbnMCLKOutFreq2=on", "chkMCLKOutOff=off", "chkI2SOutOff=off", "chkSPDIFOutOff=off"}));
}

TEST(ShowParameterRecordTest, EveryOptionSetShowsTheOtherChoices) {
  EXPECT_EQ(
      Steps({0xFF, 0xE0, 0x00, 0x7F}),
      (std::vector<std::string>{"lblEepAvail=EEPROM not Available", "rbnI2Slen0=on", "rbnSPDIFlen0=on",
                                "chkI2SLRSwap=on", "chkDSDLRSwap=on", "rbnI2SFormat1=on", "rbnDSDOut0=on",
                                "rbnMCLKOutFreq3=on", "chkMCLKOutOff=on", "chkI2SOutOff=on", "chkSPDIFOutOff=on"}));
}

} // namespace
} // namespace orvane
