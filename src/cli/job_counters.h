// What the page workers of one varnelo-cli job did, counted as they report it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/job_observer.h"

namespace varnelo::cli {

struct JobTally {
  std::uint64_t pagesWithPictures = 0;     // saved below ./data/pic
  std::uint64_t pagesWithoutPictures = 0;  // saved below ./data/no_pic
  std::uint64_t pagesSkipped = 0;          // folder existed, check box on
  std::uint64_t pagesFailed = 0;           // the page could not be fetched
  std::uint64_t picturesSaved = 0;
  std::uint64_t picturesEmpty = 0;         // fetched, but nothing to keep
  std::uint64_t picturesFailed = 0;
  std::uint64_t pictureBytes = 0;          // bytes of the saved pictures

  std::uint64_t pagesSaved() const { return pagesWithPictures + pagesWithoutPictures; }
};

// Thread-safe: the workers report from their own threads while the display reads.
class JobCounters : public JobObserver {
 public:
  void pageDone(int slot, const Text& address, PageOutcome outcome) override;
  void pictureDone(int slot, const Text& address, PictureOutcome outcome,
                   std::uint64_t bytes) override;

  // The counts so far; each figure is exact, the set need not be one instant.
  JobTally tally() const;

 private:
  std::atomic<std::uint64_t> pagesWithPictures_{0};
  std::atomic<std::uint64_t> pagesWithoutPictures_{0};
  std::atomic<std::uint64_t> pagesSkipped_{0};
  std::atomic<std::uint64_t> pagesFailed_{0};
  std::atomic<std::uint64_t> picturesSaved_{0};
  std::atomic<std::uint64_t> picturesEmpty_{0};
  std::atomic<std::uint64_t> picturesFailed_{0};
  std::atomic<std::uint64_t> pictureBytes_{0};
};

// `bytes` in the largest unit that keeps the figure at 1 or more: "512 B",
// "31.5 KiB", "7.25 MiB", "1.20 GiB".
std::string humanBytes(std::uint64_t bytes);

// The one summary line printed at the end of a job (no line break), e.g.
// "pages: 3 saved (2 with pictures, 1 without), 1 skipped, 0 failed; pictures:
// 40 saved, 1 empty, 2 failed; 1310720 bytes (1.25 MiB); 2.41 s".
std::string summaryLine(const JobTally& tally, double elapsedSeconds);

}  // namespace varnelo::cli
