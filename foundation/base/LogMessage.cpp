#include "foundation/base/LogMessage.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "kiv/Log.h"
#include "kiv/String.h"

void LogMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Kiv::String text = Kiv::StringPrintfV(format, args);
  va_end(args);
  Kiv::Log::Write(text);
}

void FatalError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Kiv::String text = Kiv::StringPrintfV(format, args);
  va_end(args);
  // The user sees the text on standard error; the log gets it too when it
  // goes elsewhere.
  if (!Kiv::Log::WritesToStandardError()) Kiv::Log::Write(text);
  std::fprintf(stderr, "Error: %s\n", text.c_str());
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(1);
}
