// The runtime's print hook: where every message of the script runtime goes.
//
// GSPrintHook is a process-wide pointer to a printf-style function; null
// (the default) drops the messages. The host sets it once at start-up,
// before any script runs. GSPrint formats its arguments itself and hands the
// finished text to the hook as GSPrintHook("%s", text), so text that comes
// from scripts or library files never becomes a format. Not thread-safe:
// the runtime runs on one thread.
#pragma once

using GSPrintHookFunction = void (*)(const char* format, ...);

extern GSPrintHookFunction GSPrintHook;

// Formats and prints one message through GSPrintHook; nothing when unset.
void GSPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
