#include "cli/cli_args.h"

#ifndef VARNELO_VERSION
#define VARNELO_VERSION "unknown"
#endif

namespace varnelo::cli {

CliArgs parseCliArgs(const std::vector<std::string>& args) {
  CliArgs result;
  bool wantHelp = false;
  bool wantVersion = false;
  bool haveFile = false;
  bool optionsEnded = false;
  std::string firstError;
  auto fail = [&](std::string message) {
    if (firstError.empty()) firstError = std::move(message);
  };

  for (const std::string& arg : args) {
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (isOption && arg == "--") {
      optionsEnded = true;
    } else if (isOption && (arg == "--help" || arg == "-h")) {
      wantHelp = true;
    } else if (isOption && (arg == "--version" || arg == "-V")) {
      wantVersion = true;
    } else if (isOption && arg == "--no-skip") {
      result.noSkip = true;
    } else if (isOption) {
      fail("unknown option '" + arg + "'");
    } else if (arg.empty()) {
      fail("empty list file name");
    } else if (haveFile) {
      fail("more than one list file given ('" + result.listPath + "' and '" + arg + "')");
    } else {
      haveFile = true;
      result.listPath = arg;
    }
  }

  if (wantHelp) {
    result.action = CliArgs::Action::help;
  } else if (wantVersion) {
    result.action = CliArgs::Action::version;
  } else if (!firstError.empty()) {
    result.action = CliArgs::Action::usageError;
    result.error = firstError;
  }
  return result;
}

std::string usageText() {
  return "Usage: varnelo-cli [--no-skip] [FILE|-]\n"
         "Downloads the pictures mentioned in a list of web pages, one address a line,\n"
         "into ./data/pic/<name>/ and ./data/no_pic/<name>/ below the current directory.\n"
         "The list (UTF-8 or ASCII) comes from FILE, or from standard input when FILE\n"
         "is '-' or absent.\n"
         "\n"
         "  --no-skip   also fetch pages whose folder ./data/<name> already exists\n"
         "  --help      show this text and exit\n"
         "  --version   show the version and exit\n"
         "\n"
         "Progress goes to standard error; one summary line goes to standard output.\n"
         "Exit status: 0 when the list has been worked through, 2 on a usage error or\n"
         "an unreadable list file.\n";
}

std::string versionText() { return std::string("varnelo-cli ") + VARNELO_VERSION + "\n"; }

}  // namespace varnelo::cli
