#include "app/engine_context.h"

#include "app/page_worker.h"

namespace varnelo {

EngineContext::EngineContext(ControlOps& controlOps, JobObserver* jobObserver)
    : controls(controlOps), observer(jobObserver), tables(allocateSlotTables()), worker(pageWorker) {}

EngineContext::~EngineContext() { releaseSlotTables(tables); }

}  // namespace varnelo
