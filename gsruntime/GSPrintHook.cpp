#include "gsruntime/GSPrintHook.h"

#include <cstdarg>

#include "kiv/String.h"

GSPrintHookFunction GSPrintHook = nullptr;

void GSPrint(const char* format, ...) {
  GSPrintHookFunction hook = GSPrintHook;
  if (hook == nullptr || format == nullptr) return;
  va_list args;
  va_start(args, format);
  const Kiv::String text = Kiv::StringPrintfV(format, args);
  va_end(args);
  hook("%s", text.c_str());
}
