// The "Str" natives: trimming, case, numbers, tokens, word unpacking and
// search on script strings. TrimLeft, TrimRight, ToUpper, ToLower and the
// three Unpack functions change the string object they are given, so the
// caller's variable sees the change.
//
// Separators: the characters of the set argument, or blank, TAB, CR, LF and
// VT when it is null or empty (the Unpack functions always use these).
// Tokens skips runs of separators, so an empty token never ends the list
// early ("a,,b" gives a and b). Find answers -1 unless both strings are
// given and 0 <= start <= length; an empty part is found at start.
// Numbers are read without regard to the locale; an int out of range is
// clamped. No native raises a script error: ToInt, ToFloat and the Unpack
// functions push nothing for a null (Unpack: or empty) string, so the
// caller sees 0, 0.0 or null.
#pragma once

#include "gsruntime/GSMachine.h"

void RegisterStrNatives(GSMachine& machine);

// Adds the Math and then the Str registrar to those that GSMachine::Init
// runs (GSAddNativeRegistrar); a second call does nothing. Call before the
// first GetGSMachine; RegisterNativeLibraries calls it too.
void AddStrAndMathRegistrars();
