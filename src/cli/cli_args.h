// The command line of varnelo-cli: [--no-skip] [FILE|-], --help, --version.
#pragma once

#include <string>
#include <vector>

namespace varnelo::cli {

struct CliArgs {
  enum class Action { run, help, version, usageError };
  Action action = Action::run;
  // The check box counts as unchecked: pages whose folder exists are fetched again.
  bool noSkip = false;
  // The list file as given; "-" means standard input, and so does an absent one.
  std::string listPath = "-";
  // For usageError: what is wrong, in one line, without the program name.
  std::string error;
};

// The parsed arguments (without the program name). --help and --version win
// over everything else; an unknown option or a second FILE gives usageError;
// "--" ends the options, so a file named "-x" can be given.
CliArgs parseCliArgs(const std::vector<std::string>& args);

// The text of --help, ending in a line break.
std::string usageText();

// The text of --version, ending in a line break.
std::string versionText();

}  // namespace varnelo::cli
