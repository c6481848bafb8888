// Small helpers on file names: extensions, texture sources, "." and "..",
// and prefix wildcards. They look only at text, never at the file system.
// Letter case is folded as ASCII, whatever the C locale. A null name or
// pattern is treated as described per function; none of them crash on it.
#pragma once

#include "kiv/String.h"

// In/out: when `*extension` is already non-empty, it is taken as the answer:
// one leading "." is dropped from it and the result is true, whatever `name`
// holds. Otherwise `*extension` becomes the text after the last "." of
// `name`, searching back over the whole name (so a "." in a folder part
// counts when the last component has none), and the result is true; when
// `name` is null or has no ".", `*extension` is "" and the result false.
// A null `extension` gives false.
bool GetExtensionOf(const char* name, Kiv::String* extension);

// True when `name` ends in ".texture.txt", in any letter case.
bool IsTextureSourceFile(const char* name);

// True for exactly "." and "..".
bool IsDotOrDotDot(const char* name);

// True when `text` begins with `pattern`: "?" matches any one character and
// letters match in any case. Text after the pattern does not matter; text
// that ends before the pattern does not match. An empty (or null) pattern
// matches everything; a null text is taken as "".
bool WildcardPrefixMatch(const char* pattern, const char* text);
