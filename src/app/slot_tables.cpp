#include "app/slot_tables.h"

#include <system_error>
#include <utility>

namespace varnelo {

WorkerThread::~WorkerThread() {
  // Only records whose thread has ended are dropped, so this returns at once.
  if (thread.joinable()) thread.join();
}

std::unique_ptr<SlotTables> allocateSlotTables() { return std::make_unique<SlotTables>(); }

void clearSlotHandles(SlotTables& tables) {
  std::unique_lock<std::mutex> lock(tables.mutex);
  for (WorkerSlot& entry : tables.entries) {
    if (entry.handle) tables.retired.push_back(std::move(entry.handle));
    entry.handle.reset();
  }
  reapRetiredThreads(tables, lock);
}

void releaseSlotTables(std::unique_ptr<SlotTables>& tables) {
  if (!tables) return;
  waitForAllThreads(*tables);
  {
    std::lock_guard<std::mutex> guard(tables->mutex);
    for (WorkerSlot& entry : tables->entries) {
      entry.address.clear();
      entry.address.shrink_to_fit();
      entry.handle.reset();
    }
    tables->retired.clear();
  }
  tables.reset();
}

int isSlotBusy(const ThreadHandle& handle) {
  if (!handle) return -1;
  return handle->running.load(std::memory_order_acquire) ? 1 : 0;
}

ThreadHandle startCountedThread(SlotTables& tables, const std::unique_lock<std::mutex>& /*lock*/,
                                std::function<void()> body) {
  auto record = std::make_shared<WorkerThread>();
  WorkerThread* self = record.get();
  ++tables.activeThreads;
  try {
    record->thread = std::thread([&tables, self, body = std::move(body)]() mutable {
      {
        std::function<void()> work = std::move(body);
        work();
      }
      // The last touch of the tables: whoever waits for this thread may
      // release them as soon as the lock is given up.
      std::lock_guard<std::mutex> guard(tables.mutex);
      self->running.store(false, std::memory_order_release);
      --tables.activeThreads;
      tables.threadEnded.notify_all();
    });
  } catch (const std::system_error&) {
    --tables.activeThreads;
    record->running.store(false);
    return nullptr;
  }
  return record;
}

void waitForAllThreads(SlotTables& tables) {
  std::unique_lock<std::mutex> lock(tables.mutex);
  tables.threadEnded.wait(lock, [&tables] { return tables.activeThreads == 0; });
  for (WorkerSlot& entry : tables.entries) {
    if (entry.handle && entry.handle->thread.joinable()) entry.handle->thread.join();
  }
  reapRetiredThreads(tables, lock);
}

void reapRetiredThreads(SlotTables& tables, const std::unique_lock<std::mutex>& /*lock*/) {
  std::vector<ThreadHandle> stillRunning;
  for (ThreadHandle& handle : tables.retired) {
    if (isSlotBusy(handle) == 1) stillRunning.push_back(std::move(handle));
  }
  // Dropping the ended ones joins them.
  tables.retired.swap(stillRunning);
}

}  // namespace varnelo
