#include "options/OptionReader.h"

#include <gtest/gtest.h>

namespace orvane::options {
namespace {

using Kind = ReadOutcome::Kind;

// A reader with a flag -y/--yes, a flag --strict that refuses, and the
// value options --file and --count; every take is written down in order.
class OptionReaderTest : public ::testing::Test {
protected:
  ReadOutcome Read(const std::vector<std::string> &args, Spelling spelling = Spelling::Strict) {
    OptionReader reader(spelling);
    reader.Flag("-y,--yes", yes_);
    reader.Flag("--strict", [this]() -> Refusal {
      taken_.push_back("strict");
      return "--strict is not allowed here";
    });
    reader.Value("--file", [this](const std::string &value) -> Refusal {
      taken_.push_back("file=" + value);
      return std::nullopt;
    });
    reader.Value("--count", [this](const std::string &value) -> Refusal {
      if (value != "1" && value != "2")
        return "--count takes 1 or 2, not " + value;
      taken_.push_back("count=" + value);
      return std::nullopt;
    });
    return reader.Read(args);
  }

  bool yes_ = false;
  std::vector<std::string> taken_;
};

TEST_F(OptionReaderTest, TakesEveryValueInTheOrderGiven) {
  const ReadOutcome outcome = Read({"--file", "a", "--count=2", "-y", "--file=b", "--file", "--yes"});
  EXPECT_EQ(outcome.kind, Kind::Taken);
  EXPECT_TRUE(yes_);
  EXPECT_EQ(taken_, (std::vector<std::string>{"file=a", "count=2", "file=b", "file=--yes"}));
}

TEST_F(OptionReaderTest, NothingGivenIsAllTaken) {
  EXPECT_EQ(Read({}).kind, Kind::Taken);
  EXPECT_FALSE(yes_);
  EXPECT_TRUE(taken_.empty());
}

TEST_F(OptionReaderTest, AnOptionAtTheEndMissesItsValue) {
  const ReadOutcome outcome = Read({"--yes", "--file"});
  EXPECT_EQ(outcome.kind, Kind::MissingLastValue);
  EXPECT_EQ(outcome.argument, "--file");
  EXPECT_EQ(outcome.name, "--file");
  // Nothing is taken from a line that cannot be read whole.
  EXPECT_FALSE(yes_);
}

TEST_F(OptionReaderTest, TheFirstUnknownArgumentIsToldWithWhatCameWithAndAfterIt) {
  ReadOutcome outcome = Read({"--yes", "--colour=red", "--file", "a", "stray"});
  EXPECT_EQ(outcome.kind, Kind::Unknown);
  EXPECT_EQ(outcome.argument, "--colour=red");
  EXPECT_EQ(outcome.name, "--colour");
  EXPECT_TRUE(outcome.valueWith);
  EXPECT_TRUE(outcome.moreUnknown);
  EXPECT_FALSE(outcome.endsLine);
  EXPECT_EQ(outcome.next, std::optional<std::string>("--file"));
  EXPECT_FALSE(yes_);
  EXPECT_TRUE(taken_.empty());

  outcome = Read({"--file", "a", "stray"});
  EXPECT_EQ(outcome.kind, Kind::Unknown);
  EXPECT_EQ(outcome.argument, "stray");
  EXPECT_FALSE(outcome.valueWith);
  EXPECT_FALSE(outcome.moreUnknown);
  EXPECT_TRUE(outcome.endsLine);
  EXPECT_EQ(outcome.next, std::nullopt);
}

TEST_F(OptionReaderTest, StrictSpellingRefusesAWordAfterOneDash) {
  ReadOutcome outcome = Read({"-yes"});
  EXPECT_EQ(outcome.kind, Kind::Unknown);
  EXPECT_EQ(outcome.argument, "-yes");
  EXPECT_FALSE(yes_);

  // The one typed first is told, whichever kind of unknown it is.
  outcome = Read({"--colour", "-yes"});
  EXPECT_EQ(outcome.argument, "--colour");
  outcome = Read({"-yes", "--colour"});
  EXPECT_EQ(outcome.argument, "-yes");

  // As a value it is just a value.
  EXPECT_EQ(Read({"--file", "-yes"}).kind, Kind::Taken);
  EXPECT_EQ(taken_.back(), "file=-yes");
}

TEST_F(OptionReaderTest, StrictSpellingKeepsAnEmptyValueAfterEquals) {
  EXPECT_EQ(Read({"--file=", "--yes"}).kind, Kind::Taken);
  EXPECT_TRUE(yes_);
  EXPECT_EQ(taken_, (std::vector<std::string>{"file="}));
}

TEST_F(OptionReaderTest, AsGivenSpellingLeavesTheArgumentsToCli11) {
  // "--file=" takes the next argument.
  EXPECT_EQ(Read({"--file=", "--yes"}, Spelling::AsGiven).kind, Kind::Taken);
  EXPECT_FALSE(yes_);
  EXPECT_EQ(taken_, (std::vector<std::string>{"file=--yes"}));
  EXPECT_EQ(Read({"--file="}, Spelling::AsGiven).kind, Kind::MissingLastValue);

  // A word after one dash is short options: none known, it is unknown as typed.
  ReadOutcome outcome = Read({"-qz", "x"}, Spelling::AsGiven);
  EXPECT_EQ(outcome.kind, Kind::Unknown);
  EXPECT_EQ(outcome.argument, "-qz");
  EXPECT_EQ(outcome.next, std::optional<std::string>("x"));

  // One known: the rest is what is unknown, never typed as such.
  outcome = Read({"-yes", "x"}, Spelling::AsGiven);
  EXPECT_EQ(outcome.kind, Kind::Unknown);
  EXPECT_EQ(outcome.argument, "-es");
  EXPECT_TRUE(outcome.moreUnknown);
  EXPECT_EQ(outcome.next, std::nullopt);
}

TEST_F(OptionReaderTest, AFlagGivenAValueIsToldByItsLongName) {
  const ReadOutcome outcome = Read({"--file", "a", "--yes=no", "--count", "3"});
  EXPECT_EQ(outcome.kind, Kind::FlagWithValue);
  EXPECT_EQ(outcome.argument, "--yes");
  EXPECT_FALSE(yes_);
  // What came before it was taken.
  EXPECT_EQ(taken_, (std::vector<std::string>{"file=a"}));
}

TEST_F(OptionReaderTest, TheFirstRefusalStopsTheTaking) {
  ReadOutcome outcome = Read({"--count", "1", "--count", "7", "--strict", "--yes"});
  EXPECT_EQ(outcome.kind, Kind::Refused);
  EXPECT_EQ(outcome.refusal, "--count takes 1 or 2, not 7");
  EXPECT_EQ(taken_, (std::vector<std::string>{"count=1"}));
  EXPECT_FALSE(yes_);

  taken_.clear();
  outcome = Read({"--strict", "--count", "7"});
  EXPECT_EQ(outcome.kind, Kind::Refused);
  EXPECT_EQ(outcome.refusal, "--strict is not allowed here");
  EXPECT_EQ(taken_, (std::vector<std::string>{"strict"}));
}

TEST(OptionReaderWordsTest, EachOutcomeIsToldInTheProgramsWords) {
  const Words words{
      .missingLastValue = [](const ReadOutcome &outcome) { return "missing " + outcome.name; },
      .unknown = [](const ReadOutcome &outcome) { return "unknown " + outcome.argument; },
      .flagWithValue = [](const ReadOutcome &outcome) { return "no value for " + outcome.argument; },
  };
  bool yes = false;
  OptionReader reader(Spelling::Strict);
  reader.Flag("--yes", yes);
  reader.Value("--file", [](const std::string &value) -> Refusal {
    if (value == "bad")
      return "cannot take " + value;
    return std::nullopt;
  });
  EXPECT_EQ(Tell(reader.Read({"--yes", "--file", "a"}), words), std::nullopt);
  EXPECT_EQ(Tell(reader.Read({"--file"}), words), Refusal("missing --file"));
  EXPECT_EQ(Tell(reader.Read({"--colour=red"}), words), Refusal("unknown --colour=red"));
  EXPECT_EQ(Tell(reader.Read({"--yes=1"}), words), Refusal("no value for --yes"));
  // A take's refusal is already in the program's words.
  EXPECT_EQ(Tell(reader.Read({"--file", "bad"}), words), Refusal("cannot take bad"));
}

} // namespace
} // namespace orvane::options
