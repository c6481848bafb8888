// The exception guard around deferred calls.
//
// Start-up turns the guard on (SetExceptionGuardFlag(true)) before the first
// command runs. From then on, a call made through CallGuarded or
// RunGuardedCall that faults (a segmentation fault, bus error, illegal
// instruction or arithmetic fault) or lets a C++ exception escape ends the
// process at once with exit status -100 (seen as 156); no recovery is tried
// and no static destructors run. While the guard is off, or while a debugger
// (a tracer) is attached to the process, calls are made plainly and a fault
// takes its ordinary course (the fault handler that was installed before the
// guard's, or the system's default).
//
// CallGuarded answers callback->Invoke(argument); RunGuardedCall answers
// object->Invoke(nullptr). A null callback answers -1 and calls nothing.
// Neither deletes the callback. Thread-safe; guards may nest.
#pragma once

#include "foundation/threads/TCXCallbackBase.h"

constexpr int kGuardedCallExitStatus = -100;

void SetExceptionGuardFlag(bool on);
bool GetExceptionGuardFlag();

int CallGuarded(TCXCallbackBase* callback, void* argument);
int RunGuardedCall(TCXCallbackBase* object);
