#include "gsruntime/GSNativeArgs.h"

#include <cstdio>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSThread.h"

namespace GSRuntime {

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
