// The installed files that name devices or versions must agree with the
// program: a model added to the model table without a udev rule is a dongle
// the user cannot open, one missing from the metainfo is never suggested,
// and one missing from the README and the manual is one nobody knows of.

#include "usb/DeviceTable.h"
#include "version/ProgramVersion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace orvane {
namespace {

std::string ReadPackagingFile(const std::string &name) {
  std::ifstream in(std::string(ORVANE_SOURCE_DIR) + "/packaging/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> AllMatches(const std::string &text, const std::regex &pattern) {
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it)
    found.push_back((*it)[1].str());
  return found;
}

struct UsbIdentity {
  std::string vendor;  // four lower-case hexadecimal digits
  std::string product; // the same
};

std::string Hex4(uint16_t value) {
  char text[5];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

UsbIdentity Identity(const UsbId &id) {
  return {Hex4(id.vendorId), Hex4(id.productId)};
}

std::vector<UsbIdentity> SearchedIdentities() {
  std::vector<UsbIdentity> identities;
  for (const ModelRow &model : kModels)
    identities.push_back(Identity(model.usb));
  for (const UsbId &id : kUpdateModeIds)
    identities.push_back(Identity(id));
  return identities;
}

std::string Upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The rule lines as udev would apply them to a USB device: every ATTR
// comparison of a line must hold for the line to grant access.
bool RulesGrantAccess(const std::string &rules, const UsbIdentity &device) {
  std::istringstream lines(rules);
  std::string line;
  const std::regex attribute(R"re(ATTR\{(idVendor|idProduct)\}=="([^"]*)")re");
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#' || line.find("TAG+=\"uaccess\"") == std::string::npos)
      continue;
    bool all = true;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), attribute); it != std::sregex_iterator(); ++it) {
      const std::string &wanted = (*it)[1] == "idVendor" ? device.vendor : device.product;
      all = all && (*it)[2] == wanted;
    }
    if (all)
      return true;
  }
  return false;
}

TEST(PackagingFilesTest, TheUdevRuleOpensEverySearchedDeviceAndNoOtherMakersChip) {
  const std::string rules = ReadPackagingFile("60-orvane-updater.rules");
  ASSERT_FALSE(rules.empty());
  for (const auto &device : SearchedIdentities())
    EXPECT_TRUE(RulesGrantAccess(rules, device)) << device.vendor << ":" << device.product;
  EXPECT_FALSE(RulesGrantAccess(rules, {"0c7e", "0001"}));
  EXPECT_FALSE(RulesGrantAccess(rules, {"0c7e", "f0b8"}));
  EXPECT_FALSE(RulesGrantAccess(rules, {"1234", "6000"}));
}

// The product ids a text lists after "products", up to the closing
// parenthesis: "f0b5 to f0b9, f120 and f121", with or without backticks.
std::set<uint16_t> ListedProducts(const std::string &text) {
  const size_t from = text.find("products ");
  if (from == std::string::npos)
    return {};
  std::string list = text.substr(from, text.find(')', from) - from);
  list.erase(std::remove(list.begin(), list.end(), '`'), list.end());
  std::set<uint16_t> products;
  const std::regex item(R"(\b([0-9a-f]{4})(?: to ([0-9a-f]{4}))?\b)");
  for (auto it = std::sregex_iterator(list.begin(), list.end(), item); it != std::sregex_iterator(); ++it) {
    const auto first = static_cast<uint16_t>(std::stoul((*it)[1].str(), nullptr, 16));
    const auto last = (*it)[2].matched ? static_cast<uint16_t>(std::stoul((*it)[2].str(), nullptr, 16)) : first;
    for (uint32_t product = first; product <= last; ++product)
      products.insert(static_cast<uint16_t>(product));
  }
  return products;
}

TEST(PackagingFilesTest, TheReadmeAndTheManualListTheModelsProducts) {
  std::set<uint16_t> products;
  for (const ModelRow &model : kModels)
    products.insert(model.usb.productId);
  std::ifstream in(std::string(ORVANE_SOURCE_DIR) + "/README.md");
  std::stringstream readme;
  readme << in.rdbuf();
  EXPECT_EQ(ListedProducts(readme.str()), products);
  EXPECT_EQ(ListedProducts(ReadPackagingFile("man/orvane-updater.1")), products);
}

TEST(PackagingFilesTest, TheMetainfoSuggestsTheProgramForEverySearchedDevice) {
  const std::string metainfo = ReadPackagingFile("com.orvane.updater.metainfo.xml");
  const auto listed = AllMatches(metainfo, std::regex("<modalias>([^<]*)</modalias>"));
  std::vector<std::string> expected;
  for (const auto &device : SearchedIdentities())
    expected.push_back("usb:v" + Upper(device.vendor) + "p" + Upper(device.product) + "d*");
  EXPECT_THAT(listed, testing::UnorderedElementsAreArray(expected));
}

TEST(PackagingFilesTest, ThePackagesFilesCarryTheProgramsVersion) {
  const auto releases =
      AllMatches(ReadPackagingFile("com.orvane.updater.metainfo.xml"), std::regex("<release version=\"([^\"]*)\""));
  ASSERT_FALSE(releases.empty());
  EXPECT_EQ(releases.front(), kProgramVersion);

  // The packages' version is the program's, then the packaging's revision.
  const auto changes = AllMatches(ReadPackagingFile("changelog"), std::regex(R"(^orvane-updater \(([^)]*)\))"));
  ASSERT_FALSE(changes.empty());
  EXPECT_THAT(changes.front(), testing::MatchesRegex(std::string(kProgramVersion) + "-[0-9]+"));

  const auto page =
      AllMatches(ReadPackagingFile("man/orvane-updater.1"), std::regex(R"re("orvane-updater ([^"]*)")re"));
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page.front(), kProgramVersion);
}

TEST(PackagingFilesTest, TheMenuEntryOpensHexFilesOfATypeThePackageDefines) {
  const std::string entry = ReadPackagingFile("orvane-updater.desktop");
  const auto mimeTypes = AllMatches(entry, std::regex("MimeType=([^\n]*)"));
  ASSERT_EQ(mimeTypes.size(), 1u);
  const auto defined =
      AllMatches(ReadPackagingFile("orvane-updater-mime.xml"), std::regex("<mime-type type=\"([^\"]*)\""));
  std::istringstream types(mimeTypes.front());
  std::string type;
  std::set<std::string> offered;
  while (std::getline(types, type, ';'))
    if (!type.empty())
      offered.insert(type);
  EXPECT_EQ(offered, std::set<std::string>(defined.begin(), defined.end()));
  // Other .hex files are not all Intel HEX: the name claims them below the
  // default weight of 50, and the content (a record mark ':' first) decides.
  const std::string mime = ReadPackagingFile("orvane-updater-mime.xml");
  const auto weights = AllMatches(mime, std::regex(R"re(<glob pattern="\*\.hex" weight="([0-9]+)"/>)re"));
  ASSERT_EQ(weights.size(), 1u);
  EXPECT_LT(std::stoi(weights.front()), 50);
  EXPECT_THAT(mime, testing::HasSubstr("<match type=\"string\" offset=\"0\" value=\":\">"));
  // The window is given the file the user chose.
  EXPECT_THAT(entry, testing::HasSubstr("\nExec=orvane-updater %f\n"));
}

} // namespace
} // namespace orvane
