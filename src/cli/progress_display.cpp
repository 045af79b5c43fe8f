#include "cli/progress_display.h"

#include <errno.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace varnelo::cli {

namespace {

// One decoded UTF-8 character: its code point (or the byte itself when the
// sequence is invalid) and its length in bytes.
struct Decoded {
  char32_t codePoint;
  size_t length;
  bool valid = true;
};

Decoded decodeAt(std::string_view s, size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || length > 4 || i + length > s.size()) return {lead, 1, false};
  char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(s[i + k]);
    if ((next & 0xC0) != 0x80) return {lead, 1, false};
    cp = (cp << 6) | (next & 0x3F);
  }
  return {cp, length};
}

bool isWide(char32_t cp) {
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF && cp != 0x303F) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
         (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

bool isControl(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

std::string countsText(const JobTally& t) {
  return "pages " + std::to_string(t.pagesSaved()) + " saved, " + std::to_string(t.pagesSkipped) +
         " skipped, " + std::to_string(t.pagesFailed) + " failed; pictures " +
         std::to_string(t.picturesSaved) + " saved, " +
         std::to_string(t.picturesFailed + t.picturesEmpty) + " failed; " +
         humanBytes(t.pictureBytes);
}

// The cursor must come back even when the user interrupts a live display.
void restoreCursorAndDie(int signalNumber) {
  static const char kShowCursor[] = "\x1b[?25h\n";
  ssize_t ignored = ::write(STDERR_FILENO, kShowCursor, sizeof kShowCursor - 1);
  (void)ignored;
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

}  // namespace

int displayWidth(std::string_view utf8) {
  int width = 0;
  for (size_t i = 0; i < utf8.size();) {
    const Decoded d = decodeAt(utf8, i);
    width += isWide(d.codePoint) ? 2 : 1;
    i += d.length;
  }
  return width;
}

std::string fitToColumns(std::string_view utf8, int columns) {
  std::string shown;
  if (columns < 1) return shown;
  const bool cut = displayWidth(utf8) > columns;
  const std::string_view ellipsis = columns >= 4 ? "..." : "";
  const int room = cut ? columns - static_cast<int>(ellipsis.size()) : columns;
  shown.reserve(utf8.size());
  int width = 0;
  for (size_t i = 0; i < utf8.size();) {
    const Decoded d = decodeAt(utf8, i);
    const int w = isWide(d.codePoint) ? 2 : 1;
    if (width + w > room) break;
    if (!d.valid || isControl(d.codePoint)) {
      shown += '?';
    } else {
      shown.append(utf8.substr(i, d.length));
    }
    width += w;
    i += d.length;
  }
  if (cut) shown.append(ellipsis);
  return shown;
}

std::string_view barGlyph(int value) {
  static constexpr std::string_view glyphs[] = {" ", "\u2581", "\u2582", "\u2583", "\u2584",
                                                "\u2585", "\u2586", "\u2587", "\u2588"};
  const int v = std::clamp(value, 0, 100);
  return glyphs[(v * 8 + 99) / 100];
}

std::string clockText(double seconds) {
  const long total = seconds <= 0 ? 0 : static_cast<long>(seconds);
  char buffer[32];
  if (total < 3600) {
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
  } else {
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  }
  return buffer;
}

std::vector<std::string> liveFrame(const DisplayState& state, int columns) {
  std::string bars = "\xE7\xBA\xBF\xE7\xA8\x8B\xE6\xB1\xA0 \xE2\x96\x95";  // "线程池 ▕"
  for (size_t i = 0; i < state.bars.size(); ++i) {
    if (i > 0) bars += ' ';
    bars.append(barGlyph(state.bars[i]));
  }
  bars += "\xE2\x96\x8F";  // "▏"
  return {fitToColumns(bars, columns), fitToColumns(state.status, columns),
          fitToColumns(countsText(state.tally) + "; " + clockText(state.elapsedSeconds), columns)};
}

std::string plainLine(const DisplayState& state) {
  std::string line = "[";
  line += clockText(state.elapsedSeconds);
  line += "] ";
  line += countsText(state.tally);
  line += "; ";
  line += fitToColumns(state.status, 1 << 20);
  return line;
}

int terminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

ProgressDisplay::ProgressDisplay(Mode mode, int fd, Sampler sampler,
                                 std::chrono::milliseconds plainInterval)
    : mode_(mode), fd_(fd), sampler_(std::move(sampler)), plainInterval_(plainInterval) {
  if (mode_ == Mode::live) {
    ::signal(SIGINT, restoreCursorAndDie);
    ::signal(SIGTERM, restoreCursorAndDie);
    writeAll("\x1b[?25l");
  }
  thread_ = std::thread([this] { run(); });
}

ProgressDisplay::~ProgressDisplay() { stop(); }

void ProgressDisplay::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  if (mode_ == Mode::live) {
    drawLive();
    writeAll("\x1b[?25h");
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
  }
}

void ProgressDisplay::run() {
  const auto period = mode_ == Mode::live ? std::chrono::milliseconds(100) : plainInterval_;
  auto next = std::chrono::steady_clock::now() + period;
  std::unique_lock lock(mutex_);
  while (!wake_.wait_until(lock, next, [this] { return stopping_; })) {
    lock.unlock();
    if (mode_ == Mode::live) {
      drawLive();
    } else {
      writeAll(plainLine(sampler_()) + "\n");
    }
    lock.lock();
    next += period;
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now + period;  // after a stall, do not draw in a burst
  }
}

void ProgressDisplay::drawLive() {
  const std::vector<std::string> lines = liveFrame(sampler_(), terminalColumns(fd_) - 1);
  std::string out;
  // Back to the first line of the previous frame, then overwrite it line by line.
  if (linesDrawn_ > 0) out += "\x1b[" + std::to_string(linesDrawn_) + "F";
  for (const std::string& line : lines) out += "\x1b[2K" + line + "\n";
  linesDrawn_ = static_cast<int>(lines.size());
  writeAll(out);
}

void ProgressDisplay::writeAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (wrote > 0) {
      done += static_cast<size_t>(wrote);
    } else if (wrote < 0 && errno == EINTR) {
      continue;
    } else {
      return;  // a closed or broken standard error is no reason to stop the job
    }
  }
}

}  // namespace varnelo::cli
