#include "cli/cli_main.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "app/engine.h"
#include "cli/address_list.h"
#include "cli/cli_args.h"
#include "cli/cli_controls.h"
#include "cli/job_counters.h"
#include "cli/progress_display.h"
#include "text/code_page.h"

namespace varnelo::cli {

namespace {

void complain(const std::string& message) {
  std::fprintf(stderr, "varnelo-cli: %s\n", message.c_str());
}

std::string sourceName(const std::string& path) {
  return path == "-" ? std::string("standard input") : "list file '" + path + "'";
}

// Reads and checks the list; false (after saying why) when it cannot be used.
bool takeInList(const std::string& path, Text* box) {
  if (path == "-" && ::isatty(STDIN_FILENO)) {
    std::fputs("varnelo-cli: reading page addresses from the terminal, one a line; end with Ctrl-D\n",
               stderr);
  }
  std::string content;
  std::string error;
  if (!readListSource(path, &content, &error)) {
    complain(error);
    return false;
  }
  if (const int line = firstInvalidUtf8Line(content); line != 0) {
    complain(sourceName(path) + " is not UTF-8 text (line " + std::to_string(line) + ")");
    return false;
  }
  *box = addressBoxText(content);
  return true;
}

// Runs the job on `box` to its end and prints the summary line.
void runJob(const Text& box, bool noSkip) {
  CliControls controls(box, /*overwriteChecked=*/!noSkip);
  JobCounters counters;
  Engine engine(controls, &counters);
  engine.clearSlotHandles();

  const auto started = std::chrono::steady_clock::now();
  auto secondsSinceStart = [started] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };
  auto sample = [&] {
    DisplayState state;
    for (int slot = 1; slot <= static_cast<int>(state.bars.size()); ++slot) {
      state.bars[slot - 1] = engine.progress(slot);
    }
    state.status = gbkToUtf8(controls.statusCaption());
    state.tally = counters.tally();
    state.elapsedSeconds = secondsSinceStart();
    return state;
  };
  const auto mode = ::isatty(STDERR_FILENO) ? ProgressDisplay::Mode::live : ProgressDisplay::Mode::plain;
  {
    ProgressDisplay display(mode, STDERR_FILENO, sample);
    engine.startDownload();
    engine.waitUntilIdle();
    display.stop();
  }
  const std::string summary = summaryLine(counters.tally(), secondsSinceStart());
  std::printf("%s\n", summary.c_str());
  std::fflush(stdout);
}

}  // namespace

int runCli(const std::vector<std::string>& args) {
  const CliArgs parsed = parseCliArgs(args);
  switch (parsed.action) {
    case CliArgs::Action::help:
      std::fputs(usageText().c_str(), stdout);
      return kExitOk;
    case CliArgs::Action::version:
      std::fputs(versionText().c_str(), stdout);
      return kExitOk;
    case CliArgs::Action::usageError:
      complain(parsed.error);
      std::fputs("Try 'varnelo-cli --help'.\n", stderr);
      return kExitUsage;
    case CliArgs::Action::run:
      break;
  }
  Text box;
  if (!takeInList(parsed.listPath, &box)) return kExitUsage;
  runJob(box, parsed.noSkip);
  return kExitOk;
}

}  // namespace varnelo::cli
