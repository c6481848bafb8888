#include "cli/RunCommand.h"

#include "cli/Dispatcher.h"
#include "foundation/threads/CallGuarded.h"
#include "foundation/threads/TCXCallbackBase.h"

namespace {

class DispatchCall : public TCXCallbackBase {
 public:
  DispatchCall(ResultsLog& log, EngineObjects& engine, int argc, char** argv)
      : log_(log), engine_(engine), argc_(argc), argv_(argv) {}

  int Invoke(void* /*argument*/) override { return DispatchCommand(log_, engine_, argc_, argv_); }

 private:
  ResultsLog& log_;
  EngineObjects& engine_;
  int argc_;
  char** argv_;
};

}  // namespace

int32_t RunCommandGuarded(ResultsLog& log, EngineObjects& engine, int argc, char** argv) {
  SetExceptionGuardFlag(true);
  DispatchCall call(log, engine, argc, argv);
  return CallGuarded(&call, nullptr);
}
