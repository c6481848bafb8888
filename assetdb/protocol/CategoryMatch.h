// Category expressions: matching an asset's category text, and merging
// category terms.
//
// A category text is a list of tokens separated by ';' ("CMP;MESH"). An
// expression is a list of alternatives separated by '|'; an alternative is
// a list of terms separated by ';' (a run of ';' counts as one); a term may
// start with '-', which negates it (two minus signs cancel).
//
// MatchCategoryExpression: a null or empty expression matches everything.
// Alternatives are tried left to right; one that matches ends the search.
// An alternative matches when every one of its terms matches. An empty
// alternative followed by '|' (a leading '|', or "||") matches everything;
// a trailing '|' adds no alternative. A plain term matches when the category
// text holds a token equal to it byte for byte (case matters; neither may be
// a mere prefix of the other). An empty term never matches, and nothing
// matches a null or empty category text (so a negated term always does).
//
// MatchCategoryTerm: one term, which ends at the first ';', '|' or the end
// of `term`; leading minus signs negate it as above.
//
// AddCategoryTerms: `result` becomes `base` followed by the token "#T" for
// each term T of `added` that `result` does not already hold, each joined
// with ';' (no ';' in front of the first token of an empty result). Terms of
// `added` are separated by runs of ';' and also by '|' (taken as a plain
// separator, so every character is consumed and the merge always ends); a
// leading separator gives the empty term, whose token is "#".
//
// None of these fail or allocate beyond the result text; null pointers
// count as missing texts.
#pragma once

#include <string_view>

#include "kiv/String.h"

bool MatchCategoryExpression(const char* categories, const char* expression);
bool MatchCategoryTerm(const char* categories, const char* term);
void AddCategoryTerms(Kiv::String& result, std::string_view base, std::string_view added);
