// What the job intake, the dispatchers and the page workers of one engine
// share: the window's control operations, the slot tables and lineCount.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/control_ops.h"
#include "app/job_observer.h"
#include "app/slot_tables.h"

namespace varnelo {

struct EngineContext {
  // Allocates the slot tables; the worker routine is pageWorker.
  EngineContext(ControlOps& controls, JobObserver* observer);
  // Waits for every dispatcher and worker, then releases the tables.
  ~EngineContext();
  EngineContext(const EngineContext&) = delete;
  EngineContext& operator=(const EngineContext&) = delete;

  ControlOps& controls;
  JobObserver* observer;  // may be null
  std::unique_ptr<SlotTables> tables;
  // Lines of the last cleaned address list; written by startDownload before
  // it starts a dispatcher, which reads its low 32 bits once.
  std::atomic<std::int64_t> lineCount{0};
  // The routine a dispatcher starts in a slot for each address; set before
  // the first job.
  std::function<void(EngineContext&, int slot)> worker;
};

}  // namespace varnelo
