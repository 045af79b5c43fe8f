#include "app/engine.h"

#include "app/engine_context.h"
#include "app/job_intake.h"
#include "app/slot_tables.h"

namespace varnelo {

struct Engine::State {
  State(ControlOps& controls, JobObserver* observer) : context(controls, observer) {}
  EngineContext context;
};

Engine::Engine(ControlOps& controls, JobObserver* observer)
    : state_(std::make_unique<State>(controls, observer)) {}

// The context's destructor waits for every thread before it releases the
// slot tables, so no worker can touch them afterwards.
Engine::~Engine() = default;

void Engine::clearSlotHandles() { varnelo::clearSlotHandles(*state_->context.tables); }

void Engine::startDownload() { varnelo::startDownload(state_->context); }

void Engine::refreshProgress() {
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    state_->context.controls.setBarPosition(slot, progress(slot));
  }
}

int Engine::progress(int slot) const {
  if (slot < 1 || slot > kSlotCount) return 0;
  return state_->context.tables->slot(slot).progress.load();
}

void Engine::waitUntilIdle() { waitForAllThreads(*state_->context.tables); }

}  // namespace varnelo
