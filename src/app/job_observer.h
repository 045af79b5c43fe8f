// Optional report of what each page worker did, for front ends that count.
// Called from worker threads; implementations must be thread-safe. The
// default implementations do nothing.
#pragma once

#include <cstdint>

#include "text/types.h"

namespace varnelo {

class JobObserver {
 public:
  virtual ~JobObserver() = default;

  // savedWith/WithoutPictures: index.html written below ./data/pic or
  // ./data/no_pic; skipped: its folder exists and the check box is checked;
  // failed: the page came back empty, or its index.html could not be
  // written. Reported once per page, after its pictures.
  enum class PageOutcome { savedWithPictures, savedWithoutPictures, skipped, failed };
  // saved: the body is on disk; empty: the body was empty (no address, no
  // answer or an empty answer), so no file is left; failed: the body could
  // not be written.
  enum class PictureOutcome { saved, empty, failed };

  virtual void pageDone(int /*slot*/, const Text& /*address*/, PageOutcome /*outcome*/) {}
  virtual void pictureDone(int /*slot*/, const Text& /*address*/, PictureOutcome /*outcome*/,
                           std::uint64_t /*bytes*/) {}
};

}  // namespace varnelo
