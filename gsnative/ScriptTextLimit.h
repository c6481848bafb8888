// The longest text, in bytes, that a native builds up for a script: an HTML
// buffer's text and a string table's text after its parameters are put in.
// It is the bound of script strings (GSString::kMaxLength, 16 MiB), so what
// such a native hands back is always a string that scripts may hold; a
// native that would pass it stops the script instead of growing without end.
#pragma once

#include <cstddef>

#include "gsruntime/GSString.h"

inline constexpr size_t kScriptTextLimit = GSRuntime::GSString::kMaxLength;
