#include "app/engine.h"
// STUB: replaced by the engine's implementation.
namespace varnelo {
struct Engine::State {};
Engine::Engine(ControlOps&, JobObserver*) : state_(std::make_unique<State>()) {}
Engine::~Engine() = default;
void Engine::clearSlotHandles() {}
void Engine::startDownload() {}
void Engine::refreshProgress() {}
int Engine::progress(int) const { return 0; }
void Engine::waitUntilIdle() {}
}  // namespace varnelo
