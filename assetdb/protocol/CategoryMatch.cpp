#include "assetdb/protocol/CategoryMatch.h"

#include <cstring>

namespace {

bool IsTermEnd(char c) {
  return c == '\0' || c == ';' || c == '|';
}

// The plain term [term, term + length) against the ';'-separated tokens.
bool HoldsToken(std::string_view categories, std::string_view term) {
  if (term.empty() || categories.empty()) return false;
  size_t start = 0;
  while (start <= categories.size()) {
    size_t end = categories.find(';', start);
    if (end == std::string_view::npos) end = categories.size();
    if (categories.substr(start, end - start) == term) return true;
    start = end + 1;
  }
  return false;
}

// The term at `term` (negations included); `end` receives where it stops.
bool MatchTermAt(std::string_view categories, const char* term, const char** end) {
  bool negate = false;
  while (*term == '-') {
    negate = !negate;
    ++term;
  }
  const char* stop = term;
  while (!IsTermEnd(*stop)) ++stop;
  if (end) *end = stop;
  const bool held = HoldsToken(categories, std::string_view(term, size_t(stop - term)));
  return negate ? !held : held;
}

// Moves past the alternative that `p` lies in: after its '|', or to the end.
const char* SkipAlternative(const char* p) {
  const char* bar = std::strchr(p, '|');
  return bar ? bar + 1 : nullptr;
}

}  // namespace

bool MatchCategoryTerm(const char* categories, const char* term) {
  if (!term) return false;
  return MatchTermAt(categories ? std::string_view(categories) : std::string_view(), term, nullptr);
}

bool MatchCategoryExpression(const char* categories, const char* expression) {
  if (!expression || *expression == '\0') return true;
  const std::string_view cats = categories ? std::string_view(categories) : std::string_view();
  const char* p = expression;
  while (p && *p != '\0') {
    if (*p == '|') return true;  // an empty alternative before a '|'
    bool ok = true;
    while (ok) {
      const char* stop = nullptr;
      ok = MatchTermAt(cats, p, &stop);
      p = stop;
      while (*p == ';') ++p;
      if (*p == '\0' || *p == '|') break;
    }
    if (ok) return true;
    p = SkipAlternative(p);
  }
  return false;
}

void AddCategoryTerms(Kiv::String& result, std::string_view base, std::string_view added) {
  result.assign(base);
  const auto isSeparator = [](char c) { return c == ';' || c == '|'; };
  size_t pos = 0;
  while (pos < added.size()) {
    size_t end = pos;
    while (end < added.size() && !isSeparator(added[end])) ++end;
    const Kiv::String token = "#" + Kiv::String(added.substr(pos, end - pos));
    if (!HoldsToken(result, token)) {
      if (!result.empty()) result += ';';
      result += token;
    }
    pos = end;
    while (pos < added.size() && isSeparator(added[pos])) ++pos;
  }
}
