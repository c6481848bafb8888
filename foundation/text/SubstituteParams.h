// SubstituteParams: fills a named parameter into a message text.
//
// SubstituteParams(text, value, name) replaces, in place, every occurrence
// of the pattern "$(" name ")" in `text` by `value`. The name comes wrapped
// in ParamName, so that a value and a name cannot change places unnoticed. The pattern is matched
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

// The name of a "$(NAME)" parameter.
struct ParamName {
  explicit ParamName(std::string_view name) : text(name) {}
  std::string_view text;
};

void SubstituteParams(Kiv::String& text, std::string_view value, ParamName name);
