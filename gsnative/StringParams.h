// The checks with which natives take their string arguments, and the
// script error they raise.
//
// CheckStringParam(stack, index, out, allowEmpty): argument slot `index`
// of the current frame as a script string. A null slot, or one that holds
// anything but a string, is missing: with allowEmpty `out` becomes the
// empty string and the answer is true; otherwise the thread stops with
// "null string at parameter <index>" and the answer is false. An empty
// text without allowEmpty stops it with "empty string at parameter
// <index>". Otherwise `out` holds the interned text and the answer is true.
// CheckStringParamToString does the same for parameter 1 into a string.
//
// ScriptError(text): stops the running thread (GSThread::Exception) with
// `text` taken as plain text, never as a format, and answers false; without
// a running thread the text goes to the print hook. On false a native must
// return at once and push nothing.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstdint>

#include "gsruntime/GSStack.h"
#include "kiv/PString.h"
#include "kiv/String.h"

bool CheckStringParam(const GSRuntime::GSStack& stack, uint32_t index, Kiv::PString& out,
                      bool allowEmpty);
bool CheckStringParamToString(const GSRuntime::GSStack& stack, Kiv::String& out, bool allowEmpty);
bool ScriptError(const char* text);
