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

  enum class PageOutcome { savedWithPictures, savedWithoutPictures, skipped, failed };
  enum class PictureOutcome { saved, empty, failed };

  virtual void pageDone(int /*slot*/, const Text& /*address*/, PageOutcome /*outcome*/) {}
  virtual void pictureDone(int /*slot*/, const Text& /*address*/, PictureOutcome /*outcome*/,
                           std::uint64_t /*bytes*/) {}
};

}  // namespace varnelo
