// The twenty worker slots and the bookkeeping of the threads that run in
// them.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "text/types.h"

namespace varnelo {

inline constexpr int kSlotCount = 20;       // slots 1 to 20 run workers
inline constexpr int kSlotTableSize = 32;   // entries per table; 21 to 32 stay unused

// One started thread. `running` turns false as the thread's last act on the
// tables; the thread object is joined by whoever drops the record.
struct WorkerThread {
  std::atomic<bool> running{true};
  std::thread thread;
  ~WorkerThread();
};

// The thread handle of a slot: null when no worker was ever started there
// (or the start failed).
using ThreadHandle = std::shared_ptr<WorkerThread>;

// One slot. `handle` and `address` are written only under
// SlotTables::mutex; `progress` is the slot's percent, written by its worker
// and read by the progress refresh at any time.
struct WorkerSlot {
  ThreadHandle handle;
  Text address;
  std::atomic<int> progress{0};
};

struct SlotTables {
  // Entry k - 1 is slot k (1 to 32).
  std::array<WorkerSlot, kSlotTableSize> entries;

  // Guards every handle and address, `activeThreads` and `retired`. Held
  // only for short bookkeeping, never across a network or window call.
  std::mutex mutex;
  // Signalled whenever a dispatcher or a worker ends.
  std::condition_variable threadEnded;
  // Dispatchers and workers started and not yet ended.
  int activeThreads = 0;
  // Threads no slot refers to any more (dispatchers, replaced handles),
  // joined once they have ended.
  std::vector<ThreadHandle> retired;

  // Slot `k` (1 to 32).
  WorkerSlot& slot(int k) { return entries[static_cast<std::size_t>(k - 1)]; }
  const WorkerSlot& slot(int k) const { return entries[static_cast<std::size_t>(k - 1)]; }
};

// Fresh tables: no handles, empty addresses, progress 0.
std::unique_ptr<SlotTables> allocateSlotTables();

// Sets all 32 handle entries to none. Threads still running go on and are
// joined later; their slots count as free from now on.
void clearSlotHandles(SlotTables& tables);

// Waits until no dispatcher or worker runs any more, joins every thread,
// releases the addresses and then the tables; `tables` is null afterwards.
// Does nothing for null.
void releaseSlotTables(std::unique_ptr<SlotTables>& tables);

// 1 while the thread of `handle` still runs, -1 for no handle (as a wait on
// a null handle fails), 0 when it has ended.
int isSlotBusy(const ThreadHandle& handle);

// Starts `body` on a new thread counted in `activeThreads`; the thread marks
// itself ended and signals `threadEnded` when `body` returns. Call with
// `tables.mutex` held by `lock`. Null when no thread could be started.
ThreadHandle startCountedThread(SlotTables& tables, const std::unique_lock<std::mutex>& lock,
                                std::function<void()> body);

// Blocks until no dispatcher or worker runs, then joins every ended thread.
void waitForAllThreads(SlotTables& tables);

// Joins and drops the retired threads that have ended. Call with
// `tables.mutex` held by `lock`.
void reapRetiredThreads(SlotTables& tables, const std::unique_lock<std::mutex>& lock);

}  // namespace varnelo
