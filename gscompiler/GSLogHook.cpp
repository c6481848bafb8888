#include "gscompiler/GSLogHook.h"

#include <cstdarg>
#include <cstdio>

GSLogHookFunction GSLogHook = nullptr;

void GSLog(const char* format, ...) {
  GSLogHookFunction hook = GSLogHook;
  if (hook == nullptr || format == nullptr) return;
  char text[16384];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  hook("%s", text);
}
