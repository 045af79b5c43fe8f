// The download engine as the front ends see it: the slot tables, the job
// intake behind the start button, the progress refresh behind the timer.
#pragma once

#include <memory>

#include "app/control_ops.h"
#include "app/job_observer.h"
#include "text/types.h"

namespace varnelo {

class Engine {
 public:
  // Allocates the slot tables. `controls` and `observer` (may be null) must
  // outlive the engine.
  explicit Engine(ControlOps& controls, JobObserver* observer = nullptr);
  // Waits for every dispatcher and worker to end, then releases the tables.
  // Workers call the control operations, so a window whose thread carries
  // them out must not destroy the engine while a job runs; it ends the
  // process instead.
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The window's created event: every slot's thread handle back to none.
  void clearSlotHandles();
  // The start button: prepares ./data, cleans the list in the address box,
  // writes ./data/url.txt and starts a dispatcher thread; returns at once.
  void startDownload();
  // The timer tick: copies each slot's progress value into its bar.
  void refreshProgress();
  // Progress value of `slot` (1 to 20).
  int progress(int slot) const;
  // Blocks until every dispatcher has handed out its lines and every worker
  // it started has ended.
  void waitUntilIdle();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace varnelo
