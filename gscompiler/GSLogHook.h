// The script log hook: where the GameScript machine sends its log lines.
//
// GSLogHook is a process-wide pointer to a printf-style function; null (the
// default) means the lines are dropped. The tool's entry point sets it once,
// before the first command runs and before any other thread exists; script
// code reads it from any thread and skips the call while it is null.
// GSLog formats nothing itself: it hands its arguments to the hook.
#pragma once

using GSLogHookFunction = void (*)(const char* format, ...);

extern GSLogHookFunction GSLogHook;

// Calls GSLogHook with the arguments when it is set.
void GSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
