// Process-wide records: the main thread's id and the application's name.
//
// RecordMainThreadId records the calling thread as the main thread (start-up
// calls it on the thread that runs commands); SetApplicationName keeps the
// name and records the calling thread again. Until a main thread is recorded,
// IsMainThread is false on every thread (no thread has id 0), so tasks meant
// for the main thread wait until one is recorded. GetApplicationName answers
// a copy ("" before it is set). All of these are thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

#include "kiv/String.h"

void RecordMainThreadId();
uint32_t GetMainThreadId();
bool IsMainThread();

void SetApplicationName(std::string_view name);
Kiv::String GetApplicationName();
