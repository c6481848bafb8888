// DaemonModule: a part of the daemon that brings request handlers (and
// perhaps a service and threads of its own).
//
// Each module defines one static DaemonModuleRegistrar in its .cpp file
// (VAD_DAEMON_MODULE); the executable links the whole library, so every
// module is present. Start-up runs, in increasing `order` (ties by name):
//   start(context)            may be null; false stops the daemon's start
//                             (it logs why). Runs after the daemon owns the
//                             database and before the listener opens.
//   registerHandlers(r, ctx)  may be null; fills the request table.
// Shut-down, after every connection is closed and every request has ended,
// runs stop(context) (may be null) in decreasing order, for the modules
// whose start succeeded.
// Orders in use: kOrderCore 0, kOrderStore 10, kOrderQueries 20,
// kOrderInstall 30.
#pragma once

#include <vector>

class DaemonContext;
class RequestRegistry;

struct DaemonModule {
  static constexpr int kOrderCore = 0;
  static constexpr int kOrderStore = 10;
  static constexpr int kOrderQueries = 20;
  static constexpr int kOrderInstall = 30;

  const char* name = "";
  int order = 0;
  bool (*start)(DaemonContext& context) = nullptr;
  void (*registerHandlers)(RequestRegistry& registry, DaemonContext& context) = nullptr;
  void (*stop)(DaemonContext& context) = nullptr;
};

class DaemonModuleRegistrar {
 public:
  explicit DaemonModuleRegistrar(const DaemonModule& module);
};

// Every registered module, sorted by order, then name.
std::vector<DaemonModule> RegisteredDaemonModules();

#define VAD_DAEMON_MODULE_JOIN2(a, b) a##b
#define VAD_DAEMON_MODULE_JOIN(a, b) VAD_DAEMON_MODULE_JOIN2(a, b)
// At namespace scope in a .cpp file, e.g.
//   VAD_DAEMON_MODULE(DaemonModule{.name = "queries", .order = DaemonModule::kOrderQueries,
//                                  .start = nullptr, .registerHandlers = &Register, .stop =
//                                  nullptr});
#define VAD_DAEMON_MODULE(...)                                                           \
  static const DaemonModuleRegistrar VAD_DAEMON_MODULE_JOIN(vadDaemonModule, __LINE__) { \
    __VA_ARGS__                                                                          \
  }
