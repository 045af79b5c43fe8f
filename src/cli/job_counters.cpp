#include "cli/job_counters.h"

#include <cstdio>

namespace varnelo::cli {

namespace {
void bump(std::atomic<std::uint64_t>& counter, std::uint64_t by = 1) {
  counter.fetch_add(by, std::memory_order_relaxed);
}
std::uint64_t read(const std::atomic<std::uint64_t>& counter) {
  return counter.load(std::memory_order_relaxed);
}
}  // namespace

void JobCounters::pageDone(int, const Text&, PageOutcome outcome) {
  switch (outcome) {
    case PageOutcome::savedWithPictures: bump(pagesWithPictures_); break;
    case PageOutcome::savedWithoutPictures: bump(pagesWithoutPictures_); break;
    case PageOutcome::skipped: bump(pagesSkipped_); break;
    case PageOutcome::failed: bump(pagesFailed_); break;
  }
}

void JobCounters::pictureDone(int, const Text&, PictureOutcome outcome, std::uint64_t bytes) {
  switch (outcome) {
    case PictureOutcome::saved:
      bump(picturesSaved_);
      bump(pictureBytes_, bytes);
      break;
    case PictureOutcome::empty: bump(picturesEmpty_); break;
    case PictureOutcome::failed: bump(picturesFailed_); break;
  }
}

JobTally JobCounters::tally() const {
  JobTally t;
  t.pagesWithPictures = read(pagesWithPictures_);
  t.pagesWithoutPictures = read(pagesWithoutPictures_);
  t.pagesSkipped = read(pagesSkipped_);
  t.pagesFailed = read(pagesFailed_);
  t.picturesSaved = read(picturesSaved_);
  t.picturesEmpty = read(picturesEmpty_);
  t.picturesFailed = read(picturesFailed_);
  t.pictureBytes = read(pictureBytes_);
  return t;
}

std::string humanBytes(std::uint64_t bytes) {
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, value < 10.0 ? "%.2f %s" : value < 100.0 ? "%.1f %s" : "%.0f %s",
                value, units[unit]);
  return buffer;
}

std::string summaryLine(const JobTally& t, double elapsedSeconds) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f s", elapsedSeconds);
  return "pages: " + std::to_string(t.pagesSaved()) + " saved (" +
         std::to_string(t.pagesWithPictures) + " with pictures, " +
         std::to_string(t.pagesWithoutPictures) + " without), " +
         std::to_string(t.pagesSkipped) + " skipped, " + std::to_string(t.pagesFailed) +
         " failed; pictures: " + std::to_string(t.picturesSaved) + " saved, " +
         std::to_string(t.picturesEmpty) + " empty, " + std::to_string(t.picturesFailed) +
         " failed; " + std::to_string(t.pictureBytes) + " bytes (" + humanBytes(t.pictureBytes) +
         "); " + seconds;
}

}  // namespace varnelo::cli
