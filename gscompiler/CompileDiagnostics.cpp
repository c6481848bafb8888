#include "gscompiler/CompileDiagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace {

using GSCompiler::CompileDiagnostics;
using GSCompiler::kMaxMessageLength;

// Formats into `out` (kMaxMessageLength + 1 bytes), cutting long text; an
// encoding error leaves the text empty.
void FormatCut(char* out, const char* format, va_list args) {
  out[0] = '\0';
  if (format == nullptr) return;
  if (std::vsnprintf(out, kMaxMessageLength + 1, format, args) < 0) out[0] = '\0';
}

void Count(CompileDiagnostics* context, bool isError, bool isWarning) {
  if (isError) ++context->errorCount;
  if (isWarning) ++context->warningCount;
}

void WriteReport(CompileDiagnostics* context, const char* fileName, int line, const char* format,
                 va_list args) {
  if (context->log == nullptr) return;
  char text[kMaxMessageLength + 1];
  FormatCut(text, format, args);
  char report[kMaxMessageLength + 1];
  const std::string shown = GSCompiler::ShownName(context->log, fileName);
  int n = std::snprintf(report, sizeof report, "%s(%d) : %s", shown.c_str(), line, text);
  if (n < 0) return;
  context->log->AppendLine(report);
}

}  // namespace

std::string GSCompiler::ShownName(const CompileLogSink* log, const char* name) {
  if (name == nullptr) return "(null)";
  return log != nullptr ? log->ShownName(name) : std::string(name);
}

void GSCompilerReport(CompileDiagnostics* context, bool isError, bool isWarning, int line,
                      const char* format, ...) {
  if (context == nullptr) return;
  Count(context, isError, isWarning);
  va_list args;
  va_start(args, format);
  WriteReport(context, context->fileName, line, format, args);
  va_end(args);
}

void GSCompilerReportInFile(CompileDiagnostics* context, bool isError, bool isWarning,
                            const char* fileName, int line, const char* format, ...) {
  if (context == nullptr) return;
  Count(context, isError, isWarning);
  va_list args;
  va_start(args, format);
  WriteReport(context, fileName, line, format, args);
  va_end(args);
}

void GSCompilerMessage(CompileDiagnostics* context, const char* format, ...) {
  if (context == nullptr || context->log == nullptr) return;
  char text[kMaxMessageLength + 1];
  va_list args;
  va_start(args, format);
  FormatCut(text, format, args);
  va_end(args);
  context->log->AppendLine(text);
}
