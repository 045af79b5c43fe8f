#include "app/slot_dispatcher.h"

#include <cstdint>
#include <mutex>

#include "app/job_intake.h"

namespace varnelo {

namespace {

constexpr int kNul = 0x00;
constexpr int kEndOfFileMark = 0x1A;

// True when no later read of `file` can give a non-empty line.
bool nothingLeft(platform::SharedFile& file) {
  int next = file.peekByte();
  return next < 0 || next == kNul || next == kEndOfFileMark;
}

// The lowest-numbered slot among 1 to 20 whose latest worker does not run;
// 0 when all are busy. Call with the tables' mutex held.
int lowestFreeSlot(const SlotTables& tables) {
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    if (isSlotBusy(tables.slot(slot).handle) != 1) return slot;
  }
  return 0;
}

}  // namespace

Text readListLine(platform::SharedFile& file) {
  Text line;
  bool endsInSingleCr = false;
  for (;;) {
    int byte = file.peekByte();
    if (byte < 0 || byte == kNul || byte == kEndOfFileMark) break;
    file.readByte();
    if (byte == '\n') break;
    line.push_back(static_cast<char>(byte));
    endsInSingleCr = byte == '\r';
    if (byte >= 0x80) {
      int trail = file.peekByte();
      if (trail > 0) line.push_back(static_cast<char>(file.readByte()));
    }
  }
  if (endsInSingleCr) line.pop_back();
  return line;
}

int handOutAddress(EngineContext& context, const Text& address) {
  SlotTables& tables = *context.tables;
  std::unique_lock<std::mutex> lock(tables.mutex);
  int slot = lowestFreeSlot(tables);
  while (slot == 0) {
    // Every worker signals when it ends; only then can a slot have come free.
    tables.threadEnded.wait(lock);
    slot = lowestFreeSlot(tables);
  }
  WorkerSlot& entry = tables.slot(slot);
  entry.address = address;
  // Replacing the handle joins the ended thread it named.
  entry.handle = startCountedThread(tables, lock, [&context, slot] { context.worker(context, slot); });
  return slot;
}

void slotDispatcher(EngineContext& context) {
  {
    platform::SharedFile file(fileSystemPath(kListFilePath));
    const auto lines = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(context.lineCount.load() & 0xFFFFFFFF));
    for (std::int32_t i = 1; i <= lines; ++i) {
      Text line = readListLine(file);
      if (line.empty()) {
        // Every later line would be empty as well.
        if (nothingLeft(file)) break;
        continue;
      }
      context.controls.setStatusCaption(kCurrentCaption + line);
      handOutAddress(context, line);
    }
  }
  context.controls.setStatusCaption(kReadyCaption);
}

}  // namespace varnelo
