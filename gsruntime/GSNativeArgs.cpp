#include "gsruntime/GSNativeArgs.h"

#include <cstdio>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSThread.h"

namespace GSRuntime {

GSValue GSNativeArg(const GSStack& stack, uint32_t index) {
  const GSValue* record = stack.CurrentFrame();
  if (record == nullptr || index >= GSStack::FrameFunction(record)->params) return 0;
  return GSStack::FrameSlot0(record)[index];
}

void GSNativeRefuse(const char* format, uint32_t index) {
  char text[96];
  std::snprintf(text, sizeof text, format, static_cast<int>(index));
  if (GSThread* thread = CurrentThread()) {
    thread->Exception(text, false);
    return;
  }
  GSPrint("%s", text);
}

}  // namespace GSRuntime
