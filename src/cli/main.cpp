// varnelo-cli: the download job without a window.
#include <signal.h>

#include <string>
#include <vector>

#include "cli/cli_main.h"

int main(int argc, char** argv) {
  // A reader that goes away must not kill a job half done.
  ::signal(SIGPIPE, SIG_IGN);
  return varnelo::cli::runCli(std::vector<std::string>(argv + 1, argv + argc));
}
