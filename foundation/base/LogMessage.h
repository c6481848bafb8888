// Diagnostic lines and fatal errors.
//
// LogMessage formats printf-style and writes the text to the engine log
// (Kiv::Log). FatalError does the same, then shows the text where a user sees
// it (standard error, as "Error: <text>", in place of a message box), flushes
// the standard streams and ends the process at once with exit status 1. No
// static destructors run after a fatal error. Both are thread-safe.
#pragma once

void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));
