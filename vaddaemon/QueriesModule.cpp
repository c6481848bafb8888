// The "queries" module: registers the handlers of QueryHandlers.h (the
// repair handlers make its repair job) and stops a running repair at
// shut-down.
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/QueryHandlers.h"
#include "vaddaemon/RepairJob.h"

namespace {

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
                               .registerHandlers = &Register,
                               .stop = &Stop});
