// What varnelo-cli shows on standard error while a job runs: on a terminal a
// live display redrawn about ten times a second, elsewhere a plain line now
// and then.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/job_counters.h"

namespace varnelo::cli {

// One look at the job: the twenty bars, the status line (UTF-8), the counts.
struct DisplayState {
  std::array<int, 20> bars{};
  std::string status;
  JobTally tally;
  double elapsedSeconds = 0;
};

// Columns that `utf8` takes on a terminal: two for East Asian wide
// characters, one for everything else; an invalid byte counts as one.
int displayWidth(std::string_view utf8);

// `utf8` with control characters (C0, DEL, C1) shown as "?" so nothing from a
// list can steer the terminal, cut to at most `columns` columns; a cut text
// ends in "..." (when 4 columns or more). A `columns` below 1 gives empty text.
std::string fitToColumns(std::string_view utf8, int columns);

// The glyph of one small bar: a space for 0, then "▁" to "█" in eight steps
// (any value above 0 shows at least "▁"); values outside 0 to 100 are clamped.
std::string_view barGlyph(int value);

// Elapsed time as "m:ss" below an hour, "h:mm:ss" above.
std::string clockText(double seconds);

// The lines of one live frame, none wider than `columns`.
std::vector<std::string> liveFrame(const DisplayState& state, int columns);

// One plain progress line (no line break, nothing that redraws).
std::string plainLine(const DisplayState& state);

// Draws from a background thread until stop(). Live mode hides the cursor,
// redraws the frame in place every 100 ms and leaves the last frame standing;
// plain mode writes one plainLine every `plainInterval`.
class ProgressDisplay {
 public:
  enum class Mode { live, plain };
  using Sampler = std::function<DisplayState()>;

  ProgressDisplay(Mode mode, int fd, Sampler sampler,
                  std::chrono::milliseconds plainInterval = std::chrono::seconds(5));
  // Stops the thread if stop() has not run.
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // Ends the drawing thread; live mode draws the final frame and shows the cursor again.
  void stop();

 private:
  void run();
  void drawLive();
  void writeAll(const std::string& bytes);

  const Mode mode_;
  const int fd_;
  const Sampler sampler_;
  const std::chrono::milliseconds plainInterval_;
  int linesDrawn_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

// Columns of the terminal on `fd`, or 80 when it does not say.
int terminalColumns(int fd);

}  // namespace varnelo::cli
