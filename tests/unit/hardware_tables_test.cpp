// The tables that hold the hardware knowledge must agree with each other
// and keep their own rules: a flash part the simulator models that the
// host would write by the fallback row, or a model whose match text is
// part of another's (the search matches interface paths by substring),
// is caught here rather than on a user's dongle.

#include "isp/FlashCapacity.h"
#include "isp/FlashParts.h"
#include "isp/FlashTimeLimits.h"
#include "sequence_rig.h"
#include "sim/FlashPartProfile.h"
#include "sim/SampleFirmware.h"
#include "sim/SimModel.h"
#include "usb/DeviceTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace orvane {
namespace {

bool IsNamedRow(const FlashPart &row) {
  return &row != &kUnknownFlashPart && row.capacity != CapacityRule::Unknown;
}

TEST(HardwareTablesTest, EverySimulatedPartHasARowOfItsOwnThatAgreesOnItsSize) {
  for (const sim::FlashPartProfile &part : sim::FlashPartProfiles()) {
    const FlashPart &row = FlashPartFor(part.jedecId);
    ASSERT_TRUE(IsNamedRow(row)) << part.name << " would be written by the fallback row";
    const auto capacity = CapacityOf(row, part.jedecId);
    ASSERT_TRUE(capacity.has_value()) << part.name;
    EXPECT_EQ(*capacity, part.sizeBytes) << part.name;
    EXPECT_EQ(FlashCapacityBytes(part.jedecId), capacity) << part.name;
  }
}

TEST(HardwareTablesTest, TheSequenceTestsRunOnEverySimulatedPart) {
  std::set<std::string> tested(std::begin(test::kFlashParts), std::end(test::kFlashParts));
  for (const sim::FlashPartProfile &part : sim::FlashPartProfiles())
    EXPECT_EQ(tested.count(part.name), 1u) << part.name;
}

TEST(HardwareTablesTest, TheHostWritesEverySimulatedPartTheWayThePartTakesIt) {
  for (const sim::FlashPartProfile &part : sim::FlashPartProfiles()) {
    const FlashPart &row = FlashPartFor(part.jedecId);
    EXPECT_EQ(row.mode == ProgramMode::Word, part.family == sim::FlashFamily::Sst)
        << part.name << ": only the SST parts take the word program";
    if (row.mode == ProgramMode::Page)
      EXPECT_EQ(part.pageBytes % row.chunkBytes, 0u) << part.name << ": a chunk would cross a page boundary";
    else
      EXPECT_EQ(row.chunkBytes % 2, 0) << part.name << ": the word program writes two bytes at a time";
  }
}

TEST(HardwareTablesTest, TheProtectingValueShieldsEverySimulatedPartWhole) {
  for (const sim::FlashPartProfile &part : sim::FlashPartProfiles()) {
    const FlashPart &row = FlashPartFor(part.jedecId);
    const uint8_t kept = row.protectValue & part.statusWritableMask;
    EXPECT_EQ(kept & row.protectCheckBits, row.protectCheckBits)
        << part.name << ": the protection would never read back as set";
    const sim::ProtectedRange range = sim::ProtectedRangeFor(part, kept);
    EXPECT_EQ(range.begin, 0u) << part.name;
    EXPECT_EQ(range.end, part.sizeBytes) << part.name;
  }
}

TEST(HardwareTablesTest, EveryHostRowIsReachedByItsOwnIdentifier) {
  for (const FlashPart &row : kFlashPartTable) {
    for (size_t i = 0; i < row.id.size(); ++i)
      EXPECT_EQ(row.id[i] & ~row.idMask[i], 0) << row.name << ": a byte the mask leaves open is set";
    EXPECT_EQ(&FlashPartFor(row.id), &row) << row.name << " is hidden by an earlier row";
    EXPECT_GT(row.chunkBytes, 0) << row.name;
    EXPECT_NE(row.protectCheckBits, 0) << row.name << ": any status would pass as protected";
    EXPECT_EQ(row.capacity == CapacityRule::Fixed, row.capacityBytes != 0) << row.name;
  }
  EXPECT_EQ(&FlashPartFor({0x20, 0xBA, 0x16}), &kUnknownFlashPart) << "a maker no row names";
}

TEST(HardwareTablesTest, AnIdentifierNoRowNamesGetsTheLongestLimitsOfThemAll) {
  const FlashTimeLimits fallback = TimeLimitsFor({0x20, 0xBA, 0x12});
  for (const FlashPart &row : kFlashPartTable) {
    const FlashTimeLimits limits = TimeLimitsFor(row.id);
    EXPECT_LE(limits.statusWriteMs, fallback.statusWriteMs) << row.name;
    EXPECT_LE(limits.pageProgramMs, fallback.pageProgramMs) << row.name;
    EXPECT_LE(limits.chipEraseMs, fallback.chipEraseMs) << row.name;
  }
}

std::vector<std::pair<std::string, UsbId>> SearchedIdentities() {
  std::vector<std::pair<std::string, UsbId>> searched;
  for (const ModelRow &model : kModels)
    searched.emplace_back(model.displayName, model.usb);
  for (const UsbId &id : kUpdateModeIds)
    searched.emplace_back("update mode", id);
  return searched;
}

TEST(HardwareTablesTest, EveryIdentityTheSearchLooksForIsDistinct) {
  std::set<std::pair<uint16_t, uint16_t>> seen;
  for (const auto &[name, id] : SearchedIdentities())
    EXPECT_TRUE(seen.insert({id.vendorId, id.productId}).second) << name << " repeats an identity";
  std::set<std::string> names, prefixes;
  for (const ModelRow &model : kModels) {
    EXPECT_TRUE(names.insert(model.displayName).second) << model.displayName;
    EXPECT_TRUE(prefixes.insert(model.filePrefix).second) << model.filePrefix << " would share an update file";
  }
}

TEST(HardwareTablesTest, NoMatchTextIsPartOfAnother) {
  std::vector<std::string> texts;
  for (const DeviceTableRow &row : DeviceTable)
    texts.emplace_back(row.matchText);
  texts.emplace_back(kUpdateId3B5D);
  texts.emplace_back(kUpdateId0C7E);
  for (size_t a = 0; a < texts.size(); ++a)
    for (size_t b = 0; b < texts.size(); ++b) {
      if (a != b) {
        EXPECT_EQ(texts[b].find(texts[a]), std::string::npos) << texts[a] << " would also find " << texts[b];
      }
    }
}

TEST(HardwareTablesTest, TheDeviceTableRowsAreTheModelsInTheirOrder) {
  ASSERT_EQ(DeviceTable.size(), kModels.size());
  for (size_t i = 0; i < kModels.size(); ++i) {
    EXPECT_STREQ(DeviceTable[i].matchText, MatchTextOf(kModels[i].usb).data());
    EXPECT_STREQ(DeviceTable[i].displayName, kModels[i].displayName);
    EXPECT_STREQ(DeviceTable[i].filePrefix, kModels[i].filePrefix);
  }
  EXPECT_STREQ(DeviceTable[0].matchText, "vid_3b5d&pid_f0b5");
  EXPECT_STREQ(DeviceTable[6].matchText, "vid_3b5d&pid_f121");
  EXPECT_STREQ(kUpdateId3B5D, "vid_3b5d&pid_6000");
  EXPECT_STREQ(kUpdateId0C7E, "vid_0c7e&pid_6000");
}

TEST(HardwareTablesTest, TheIdentityListsReadAsTheMessagesShowThem) {
  EXPECT_EQ(ModelIdsText(), "3b5d:f0b5 to f0b9, f120, f121");
  EXPECT_EQ(UpdateIdsText(), "3b5d:6000, 0c7e:6000");
}

TEST(HardwareTablesTest, TheSimulatorKnowsEveryModelByItsIdentity) {
  const auto models = sim::SimModels();
  ASSERT_EQ(models.size(), kModels.size());
  for (size_t i = 0; i < kModels.size(); ++i) {
    const sim::SimIdentity identity = sim::ModelIdentity(models[i]);
    EXPECT_EQ(identity.vendorId, kModels[i].usb.vendorId) << kModels[i].displayName;
    EXPECT_EQ(identity.productId, kModels[i].usb.productId) << kModels[i].displayName;
    EXPECT_EQ(models[i].filePrefix, kModels[i].filePrefix);
  }
  for (const UsbId &id : kUpdateModeIds) {
    const sim::SimIdentity identity = sim::UpdateIdentity(id.vendorId);
    EXPECT_EQ(identity.productId, id.productId);
  }
}

TEST(HardwareTablesTest, EveryModelsSampleFirmwareFitsEverySimulatedPart) {
  uint32_t smallest = UINT32_MAX;
  for (const sim::FlashPartProfile &part : sim::FlashPartProfiles())
    smallest = std::min(smallest, part.sizeBytes);
  std::set<std::vector<uint8_t>> images;
  for (const sim::SimModel &model : sim::SimModels()) {
    const auto image = sim::GenerateSampleFirmware(model);
    EXPECT_LE(image.size(), smallest) << model.displayName;
    EXPECT_TRUE(images.insert(image).second) << model.displayName << " has another model's sample firmware";
  }
}

} // namespace
} // namespace orvane
