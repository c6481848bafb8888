#include "gsruntime/GSRunState.h"

namespace GSRuntime {

namespace {
GSContext* currentContext = nullptr;
GSThread* currentThread = nullptr;
}  // namespace

GSContext* CurrentContext() {
  return currentContext;
}
void SetCurrentContext(GSContext* context) {
  currentContext = context;
}
GSThread* CurrentThread() {
  return currentThread;
}
void SetCurrentThread(GSThread* thread) {
  currentThread = thread;
}

}  // namespace GSRuntime
