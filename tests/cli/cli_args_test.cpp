#include "cli/cli_args.h"

#include <gtest/gtest.h>

namespace varnelo::cli {
namespace {

using Action = CliArgs::Action;

struct ArgsCase {
  std::vector<std::string> args;
  Action action;
  bool noSkip;
  std::string listPath;
  std::string errorPart;  // must appear in the error (usageError only)
};

TEST(ParseCliArgs, Table) {
  const ArgsCase cases[] = {
      {{}, Action::run, false, "-", ""},
      {{"-"}, Action::run, false, "-", ""},
      {{"list.txt"}, Action::run, false, "list.txt", ""},
      {{"--no-skip"}, Action::run, true, "-", ""},
      {{"--no-skip", "list.txt"}, Action::run, true, "list.txt", ""},
      {{"list.txt", "--no-skip"}, Action::run, true, "list.txt", ""},
      {{"--no-skip", "-"}, Action::run, true, "-", ""},
      {{"--", "-odd-name"}, Action::run, false, "-odd-name", ""},
      {{"--", "--no-skip"}, Action::run, false, "--no-skip", ""},
      {{"--help"}, Action::help, false, "-", ""},
      {{"-h"}, Action::help, false, "-", ""},
      {{"--version"}, Action::version, false, "-", ""},
      {{"-V"}, Action::version, false, "-", ""},
      // --help answers even a command line that is otherwise wrong.
      {{"--bogus", "--help"}, Action::help, false, "-", ""},
      {{"a", "b", "--version"}, Action::version, false, "a", ""},
      {{"--bogus"}, Action::usageError, false, "-", "'--bogus'"},
      {{"-x", "list.txt"}, Action::usageError, false, "list.txt", "'-x'"},
      {{"--no-skip=1"}, Action::usageError, false, "-", "'--no-skip=1'"},
      {{"a.txt", "b.txt"}, Action::usageError, false, "a.txt", "'b.txt'"},
      {{"-", "b.txt"}, Action::usageError, false, "-", "more than one"},
      {{""}, Action::usageError, false, "-", "empty"},
  };
  for (const ArgsCase& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += "[" + a + "]";
    SCOPED_TRACE(shown);
    const CliArgs parsed = parseCliArgs(c.args);
    EXPECT_EQ(parsed.action, c.action);
    if (c.action == Action::run) {
      EXPECT_EQ(parsed.noSkip, c.noSkip);
      EXPECT_EQ(parsed.listPath, c.listPath);
    }
    if (c.action == Action::usageError) {
      EXPECT_NE(parsed.error.find(c.errorPart), std::string::npos) << parsed.error;
      EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    } else {
      EXPECT_TRUE(parsed.error.empty());
    }
  }
}

TEST(ParseCliArgs, HelpAndVersionTexts) {
  EXPECT_NE(usageText().find("varnelo-cli [--no-skip] [FILE|-]"), std::string::npos);
  EXPECT_EQ(versionText().rfind("varnelo-cli ", 0), 0u);
  EXPECT_EQ(versionText().back(), '\n');
}

}  // namespace
}  // namespace varnelo::cli
