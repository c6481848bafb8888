// The "queries" module: registers the handlers of QueryHandlers.h and stops
// a running repair at shut-down.
#include <memory>

#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/QueryHandlers.h"
#include "vaddaemon/RepairJob.h"

namespace {

bool Start(DaemonContext& context) {
  context.Provide(std::make_shared<RepairJob>(RepairJob::StepDelayFromEnvironment()));
  return true;
}

void Register(RequestRegistry& registry, DaemonContext& context) {
  RegisterQueryHandlers(registry, context);
  RegisterValueHandlers(registry, context);
  RegisterEditHandlers(registry, context);
  RegisterSearchHandler(registry, context);
  RegisterRepairHandlers(registry, context);
  RegisterAccountHandlers(registry, context);
}

void Stop(DaemonContext& context) {
  if (auto job = context.Find<RepairJob>()) job->Stop();
}

}  // namespace

VAD_DAEMON_MODULE(DaemonModule{.name = "queries",
                               .order = DaemonModule::kOrderQueries,
                               .start = &Start,
                               .registerHandlers = &Register,
                               .stop = &Stop});
