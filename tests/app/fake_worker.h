// A stand-in for the page worker: records which address each slot's worker
// read and holds it until the test lets it end, so that the dispatcher can be
// watched slot by slot.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <set>
#include <utility>
#include <vector>

#include "app/engine_context.h"

namespace varnelo::testing {

class FakeWorkers {
 public:
  struct Start {
    int slot;
    Text address;
    bool operator==(const Start&) const = default;
    friend void PrintTo(const Start& start, std::ostream* out) {
      *out << "{slot " << start.slot << ", \"" << start.address << "\"}";
    }
  };

  // Installs the fake as `context`'s worker routine. With `hold` every
  // worker waits for release(); without, it ends at once.
  void install(EngineContext& context, bool hold) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      holdAll_ = hold;
    }
    context.worker = [this](EngineContext& ctx, int slot) { run(ctx, slot); };
  }

  // Lets the worker of `address` (every one of them) end.
  void release(const Text& address) {
    std::lock_guard<std::mutex> guard(mutex_);
    released_.insert(address);
    changed_.notify_all();
  }
  void releaseAll() {
    std::lock_guard<std::mutex> guard(mutex_);
    holdAll_ = false;
    changed_.notify_all();
  }

  // Waits (at most 30 s) until `count` workers have started; false on time-out.
  bool waitForStarts(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30),
                             [&] { return starts_.size() >= count; });
  }

  std::vector<Start> starts() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return starts_;
  }
  // True when two workers ever ran in the same slot at the same time.
  bool slotShared() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return slotShared_;
  }

 private:
  void run(EngineContext& context, int slot) {
    Text address;
    {
      std::lock_guard<std::mutex> guard(context.tables->mutex);
      address = context.tables->slot(slot).address;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (++occupancy_[slot] > 1) slotShared_ = true;
    starts_.push_back({slot, address});
    changed_.notify_all();
    changed_.wait(lock, [&] { return !holdAll_ || released_.count(address) > 0; });
    --occupancy_[slot];
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool holdAll_ = false;
  std::set<Text> released_;
  std::vector<Start> starts_;
  int occupancy_[33] = {};
  bool slotShared_ = false;
};

}  // namespace varnelo::testing
