// SubstituteParams: fills a named parameter into a message text.
//
// SubstituteParams(text, name, value) replaces, in place, every occurrence
// of the pattern "$(" name ")" in `text` by `value`. The pattern is matched
// without regard to ASCII letter case, both in its name and in "$(" / ")"
// (which have no case). The text is scanned once from its start; after a
// replacement the search goes on behind the inserted value, so a value is
// never scanned again: a value that contains the pattern itself (or any
// other pattern) stays as it is, and the call always ends. Occurrences that
// overlap are taken from the left. An empty name matches "$()".
//
// The work is linear in the lengths of the text and the result. Nothing
// fails; memory exhaustion is std::string's (std::bad_alloc). The function
// keeps no state and is safe on any thread for texts the caller owns.
#pragma once

#include <string_view>

#include "kiv/String.h"

void SubstituteParams(Kiv::String& text, std::string_view name, std::string_view value);
