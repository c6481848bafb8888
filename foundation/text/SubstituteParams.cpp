#include "foundation/text/SubstituteParams.h"

#include <cstddef>
#include <utility>

namespace {

// True when `pattern` occurs at `at` in `text`, ignoring ASCII case.
bool MatchesAt(std::string_view text, size_t at, std::string_view pattern) {
  if (text.size() - at < pattern.size()) return false;
  return Kiv::EqualsIgnoreCase(text.substr(at, pattern.size()), pattern);
}

}  // namespace

void SubstituteParams(Kiv::String& text, std::string_view value, ParamName name) {
  Kiv::String pattern;
  pattern.reserve(name.text.size() + 3);
  pattern.append("$(").append(name.text).append(")");

  const std::string_view source(text);
  Kiv::String result;
  bool replaced = false;
  size_t copiedUpTo = 0;
  size_t at = source.find('$');
  while (at != std::string_view::npos) {
    if (!MatchesAt(source, at, pattern)) {
      at = source.find('$', at + 1);
      continue;
    }
    if (!replaced) result.reserve(source.size() + value.size());
    replaced = true;
    result.append(source.substr(copiedUpTo, at - copiedUpTo)).append(value);
    // The search goes on in the source behind the pattern, which is behind
    // the inserted value in the result: the value is never scanned.
    copiedUpTo = at + pattern.size();
    at = source.find('$', copiedUpTo);
  }
  if (!replaced) return;
  result.append(source.substr(copiedUpTo));
  text = std::move(result);
}
