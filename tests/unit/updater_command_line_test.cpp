#include "app/UpdaterCommandLine.h"
#include "version/ProgramVersion.h"

#include <gtest/gtest.h>

#include <sstream>

namespace orvane {
namespace {

using Action = UpdaterCommandLine::Action;
using Strings = std::vector<std::string>;

TEST(UpdaterCommandLineTest, NothingOrOneFileOrFolderStartsTheWindow) {
  const UpdaterCommandLine none = ReadUpdaterCommandLine({});
  EXPECT_EQ(none.action, Action::Window);
  EXPECT_FALSE(none.path);
  EXPECT_TRUE(none.toolkit.empty());
  const UpdaterCommandLine file = ReadUpdaterCommandLine({"release 2.hex"});
  EXPECT_EQ(file.action, Action::Window);
  EXPECT_EQ(file.path, "release 2.hex");
}

TEST(UpdaterCommandLineTest, HelpAndVersionNeedNothingElse) {
  for (const Strings &args :
       {Strings{"--help"}, Strings{"-h"}, Strings{"-platform", "xcb", "--help"}, Strings{"a.hex", "--help"}})
    EXPECT_EQ(ReadUpdaterCommandLine(args).action, Action::Help) << args.back();
  EXPECT_EQ(ReadUpdaterCommandLine({"--version"}).action, Action::Version);
  EXPECT_EQ(UpdaterVersion(), std::string("orvane-updater ") + kProgramVersion);
}

TEST(UpdaterCommandLineTest, TheToolkitsOptionsAreSetAsideWithTheirValues) {
  const UpdaterCommandLine line =
      ReadUpdaterCommandLine({"-platform", "offscreen", "--style=Fusion", "-reverse", "folder", "-qwindowtitle", "x"});
  EXPECT_EQ(line.action, Action::Window);
  EXPECT_EQ(line.toolkit, (Strings{"-platform", "offscreen", "--style=Fusion", "-reverse", "-qwindowtitle", "x"}));
  EXPECT_EQ(line.path, "folder");
}

TEST(UpdaterCommandLineTest, MistakesAreRefusedWithTheirReason) {
  const auto refused = [](const Strings &args) {
    const UpdaterCommandLine line = ReadUpdaterCommandLine(args);
    EXPECT_EQ(line.action, Action::Usage);
    return line.error;
  };
  EXPECT_EQ(refused({"a.hex", "b.hex"}), "one FILE or FOLDER at most");
  EXPECT_EQ(refused({"--frobnicate"}), "unknown option --frobnicate");
  EXPECT_EQ(refused({"-yes"}), "unknown option -yes");
  EXPECT_EQ(refused({"--version=2"}), "option --version takes no value");
  EXPECT_EQ(refused({"-platform"}), "option -platform needs a value");
}

// After "--" every argument is a FILE or FOLDER, however it begins.
TEST(UpdaterCommandLineTest, DoubleDashEndsTheOptions) {
  const UpdaterCommandLine line = ReadUpdaterCommandLine({"--", "-odd name.hex"});
  EXPECT_EQ(line.action, Action::Window);
  EXPECT_EQ(line.path, "-odd name.hex");
  EXPECT_EQ(ReadUpdaterCommandLine({"--", "a", "b"}).action, Action::Usage);
}

// "FILE or FOLDER" is never broken across lines, and no line is wider
// than a terminal.
TEST(UpdaterCommandLineTest, TheHelpKeepsFileOrFolderWhole) {
  const std::string help = UpdaterHelp();
  std::istringstream lines(help);
  std::string line;
  int whole = 0;
  while (std::getline(lines, line)) {
    EXPECT_LE(line.size(), 79u) << line;
    for (size_t at = line.find("FILE"); at != std::string::npos; at = line.find("FILE", at + 1)) {
      EXPECT_EQ(line.compare(at, 14, "FILE or FOLDER"), 0) << line;
      ++whole;
    }
  }
  EXPECT_GE(whole, 2);
  EXPECT_NE(help.find("--version"), std::string::npos);
  EXPECT_NE(help.find("-h, --help"), std::string::npos);
}

} // namespace
} // namespace orvane
