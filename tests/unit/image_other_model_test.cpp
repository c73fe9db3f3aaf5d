// A file named for one model given to another: which names say so, and
// what the warning says.

#include "isp/OtherModelFile.h"
#include "program/UpdateConfirmation.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

const ModelRow &Model(const char *displayName) {
  for (const ModelRow &model : kModels)
    if (std::string(model.displayName) == displayName)
      return model;
  throw std::logic_error(displayName);
}

TEST(OtherModelFileTest, ANameCarryingAnotherModelsFileNameNamesThatModel) {
  const ModelRow &r62 = Model("Orvane-R62");
  for (const char *name : {"Orvane_R61.hex", "orvane_r61.BIN", "/home/me/Downloads/ORVANE_R61.hex",
                           "Orvane_R61 (1).hex", "new-Orvane_R61_v2.bin"}) {
    const ModelRow *named = OtherModelNamed(name, r62);
    ASSERT_NE(named, nullptr) << name;
    EXPECT_STREQ(named->displayName, "Orvane-R61") << name;
  }
  EXPECT_STREQ(OtherModelNamed("Orvane MR810.bin", r62)->displayName, "Orvane MR810");
  EXPECT_STREQ(OtherModelNamed("orvane_rb09_max.hex", r62)->displayName, "Orvane-RB09-Max");
}

TEST(OtherModelFileTest, TheAttachedModelsOwnNameAndNamesOfNoModelStayNeutral) {
  const ModelRow &r62 = Model("Orvane-R62");
  for (const char *name : {"Orvane_R62.hex", "ORVANE_R62.BIN", "firmware.bin", "Orvane-R61.hex", "R61.hex",
                           "/srv/Orvane_R61/fw.hex", "Orvane_R62_not_Orvane_R61.hex", ""})
    EXPECT_EQ(OtherModelNamed(name, r62), nullptr) << name;
  EXPECT_EQ(OtherModelNamed("Orvane_R61.hex", Model("Orvane-R61")), nullptr);
}

TEST(OtherModelFileTest, TheWarningNamesBothModels) {
  EXPECT_EQ(OtherModelWarning(Model("Orvane-R61"), Model("Orvane-R62")),
            "This file is named for Orvane-R61; the attached device is an Orvane-R62");
}

TEST(UpdateConfirmationTest, TheDetailsNameTheFileItsChecksumAndAnotherModel) {
  ImageRecord image;
  image.ImageBuffer[0] = 0x12;
  image.ImageBuffer[1] = 0x34;
  image.ImageLength = 2;
  image.ImageFileName = "/work/Orvane_R62.hex";
  EXPECT_EQ(UpdateConfirmationDetails(image, &Model("Orvane-R62")), "File: Orvane_R62.hex, checksum 0x0046");
  image.ImageFileName = "/work/Orvane_R61.hex";
  EXPECT_EQ(UpdateConfirmationDetails(image, &Model("Orvane-R62")),
            "File: Orvane_R61.hex, checksum 0x0046\n"
            "This file is named for Orvane-R61; the attached device is an Orvane-R62.");
  // A chip in update mode does not say what it is: no model to warn of.
  EXPECT_EQ(UpdateConfirmationDetails(image, nullptr), "File: Orvane_R61.hex, checksum 0x0046");
}

} // namespace
} // namespace orvane
