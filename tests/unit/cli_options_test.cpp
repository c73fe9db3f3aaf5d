#include "cli/UpdateCommandOptions.h"

#include <gtest/gtest.h>

#include <sstream>

namespace orvane {
namespace {

using Action = UpdateCommandOptions::Action;

std::optional<UpdateCommandOptions> Parse(const std::vector<std::string> &args, std::string *error = nullptr) {
  std::string ignored;
  return ParseUpdateCommandOptions(args, error ? error : &ignored);
}

TEST(UpdateCommandOptionsTest, NoArgumentsIsAnUpdateThatAsks) {
  const auto options = Parse({});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->action, Action::Update);
  EXPECT_FALSE(options->yes);
  EXPECT_FALSE(options->json);
  EXPECT_FALSE(options->file);
  EXPECT_EQ(options->waitSeconds, 0u);
}

TEST(UpdateCommandOptionsTest, ValuesComeAsTheNextArgumentOrAfterEquals) {
  auto options = Parse({"--yes", "--file", "my image.hex", "--wait", "30", "--json"});
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->yes);
  EXPECT_TRUE(options->json);
  EXPECT_EQ(options->file, std::optional<std::string>("my image.hex"));
  EXPECT_EQ(options->waitSeconds, 30u);

  options = Parse({"-y", "--file=a=b.bin", "--wait=0"});
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->yes);
  EXPECT_EQ(options->file, std::optional<std::string>("a=b.bin"));
  EXPECT_EQ(options->waitSeconds, 0u);

  options = Parse({"--read-back", "flash.txt", "--wait", "5"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->action, Action::ReadBack);
  EXPECT_EQ(options->readBackFile, "flash.txt");

  // A value that looks like an option is still the value.
  options = Parse({"--file", "-odd.hex", "--wait", "3", "--wait", "4"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->file, std::optional<std::string>("-odd.hex"));
  EXPECT_EQ(options->waitSeconds, 4u);

  options = Parse({"--list", "--json"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->action, Action::List);
}

TEST(UpdateCommandOptionsTest, HelpWinsOverEverythingElse) {
  for (const auto &args : {std::vector<std::string>{"--help"}, {"-h"}, {"--list", "--read-back", "x", "-h"}}) {
    const auto options = Parse(args);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->action, Action::Help);
  }
}

TEST(UpdateCommandOptionsTest, VersionWinsOverActionsButNotOverHelp) {
  for (const auto &args : {std::vector<std::string>{"--version"}, {"--list", "--version"}, {"--yes", "--version"}}) {
    const auto options = Parse(args);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->action, Action::Version);
  }
  const auto options = Parse({"--version", "--help"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->action, Action::Help);
  std::string error;
  EXPECT_FALSE(Parse({"--version=2"}, &error));
  EXPECT_EQ(error, "option --version takes no value");
}

TEST(UpdateCommandOptionsTest, RefusalsSayWhatIsWrong) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--frobnicate"}, "unknown option --frobnicate"},
      {{"image.hex"}, "unexpected argument 'image.hex'"},
      {{"--file"}, "option --file needs a value"},
      {{"--file="}, "option --file needs a value"},
      {{"--read-back"}, "option --read-back needs a value"},
      {{"--wait", "soon"}, "--wait takes whole seconds from 0 to 86400, not 'soon'"},
      {{"--wait", "-1"}, "--wait takes whole seconds from 0 to 86400, not '-1'"},
      {{"--wait", "86401"}, "--wait takes whole seconds from 0 to 86400, not '86401'"},
      {{"--wait", "4294967296"}, "--wait takes whole seconds from 0 to 86400, not '4294967296'"},
      {{"--wait", "5s"}, "--wait takes whole seconds from 0 to 86400, not '5s'"},
      {{"--yes=no"}, "option --yes takes no value"},
      {{"--list", "--read-back", "f"}, "--list and --read-back cannot be combined"},
      {{"--list", "--file", "x.hex"}, "--file belongs to an update, not to --list"},
      {{"--read-back", "f", "--yes"}, "--yes belongs to an update, not to --read-back"},
      {{"--list", "--allow-other-model"}, "--allow-other-model belongs to an update, not to --list"},
      {{"-yes"}, "unknown option -yes"},
      {{"-yh"}, "unknown option -yh"},
      {{"--device=", "--list"}, "option --device needs a value"},
      {{"--wait", "x", "--yes=no"}, "--wait takes whole seconds from 0 to 86400, not 'x'"},
      {{"--wait", "5", "--wait", "x"}, "--wait takes whole seconds from 0 to 86400, not 'x'"},
      {{"--frobnicate", "--file"}, "unknown option --frobnicate"},
  };
  for (const auto &[args, message] : cases) {
    std::string error;
    EXPECT_FALSE(Parse(args, &error)) << args[0];
    EXPECT_EQ(error, message);
  }
}

TEST(UpdateCommandOptionsTest, HelpNamesEveryOptionAndTheExitStatuses) {
  const std::string help = UpdateCommandHelp();
  for (const char *option : {"--yes", "--file PATH", "--allow-other-model", "--wait SECONDS", "--json", "--list",
                             "--read-back FILE", "--help"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  for (const char *status : {"\n  0  ", "\n  1  ", "\n  2  "})
    EXPECT_NE(help.find(status), std::string::npos) << status;
}

TEST(UpdateCommandOptionsTest, HelpDescribesTheDeviceLocationsOfThisSystem) {
  const std::string help = UpdateCommandHelp();
  const size_t device = help.find("\n  --device ID ");
  ASSERT_NE(device, std::string::npos);
  const std::string paragraph = help.substr(device, help.find("\n  --all ") - device);
#ifdef _WIN32
  EXPECT_NE(paragraph.find("device instance id such as 5&1a2b3c4d&0&2"), std::string::npos) << paragraph;
  EXPECT_NE(paragraph.find("--device \"5&1a2b3c4d&0&2\""), std::string::npos) << paragraph;
  EXPECT_EQ(paragraph.find("port path"), std::string::npos) << paragraph;
#else
  EXPECT_NE(paragraph.find("a USB port path such as 1-4.2"), std::string::npos) << paragraph;
  EXPECT_EQ(paragraph.find("instance id"), std::string::npos) << paragraph;
#endif
  for (const char *line : {"--device ID", "serial number"})
    EXPECT_NE(paragraph.find(line), std::string::npos) << line;
}

// The manual page is made from the help by help2man: it takes each "  or:"
// line after "Usage:" as a form of the command, and the lines under a line
// "Exit status:" as the page's EXIT STATUS section.
TEST(UpdateCommandOptionsTest, HelpGivesTheManualPageItsFormsAndExitStatusSection) {
  const std::string help = UpdateCommandHelp();
  const size_t usage = help.find("\nUsage: orvane-update ");
  ASSERT_NE(usage, std::string::npos);
  const size_t formsEnd = help.find("\n\n", usage);
  std::istringstream forms(help.substr(usage + 1, formsEnd - usage - 1));
  std::string line;
  std::getline(forms, line);
  int more = 0;
  while (std::getline(forms, line)) {
    EXPECT_EQ(line.rfind("  or:  orvane-update ", 0), 0u) << line;
    ++more;
  }
  EXPECT_GE(more, 4);
  EXPECT_NE(help.find("\n\nExit status:\n  0  "), std::string::npos);
}

} // namespace
} // namespace orvane
