#include "gsruntime/GSValueKind.h"

#include "gsruntime/GSValue.h"

namespace GSRuntime {

namespace {

uint8_t NamedKind(std::string_view type) {
  if (type.empty()) return kKindInvalid;
  if (type == "void") return kKindNone;
  if (type == "bool" || type == "int" || type == "float") return kKindPlain;
  return kKindReference;
}

// The first `c` in `text`, or npos: signatures are short, so a plain loop
// beats a library search call.
size_t Find(std::string_view text, char c) {
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == c) return i;
  return std::string_view::npos;
}

}  // namespace

template <typename KindList>
bool GSSignatureKinds(std::string_view signature, uint8_t& returnKind, KindList& params) {
  params.reserve(8);  // one allocation for most signatures
  params.assign(1, kKindReference);
  returnKind = kKindNone;
  const size_t open = Find(signature, '(');
  if (open == std::string_view::npos || signature.back() != ')') return false;
  if (signature.front() == '$') {
    const size_t at = Find(signature, '@');
    if (at == std::string_view::npos || at > open) return false;
    returnKind = NamedKind(signature.substr(1, at - 1));
    if (returnKind == kKindInvalid) return false;
  }
  std::string_view list = signature.substr(open + 1, signature.size() - open - 2);
  while (!list.empty()) {
    const size_t comma = Find(list, ',');
    const uint8_t kind = NamedKind(list.substr(0, comma));
    if (kind == kKindInvalid || kind == kKindNone) return false;
    params.push_back(kind);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
    if (list.empty()) return false;
  }
  return true;
}

template bool GSSignatureKinds(std::string_view, uint8_t&, std::vector<uint8_t>&);
template bool GSSignatureKinds(std::string_view, uint8_t&, std::pmr::vector<uint8_t>&);

uint8_t GSTypeCodeKind(uint32_t code) {
  if (code == 0) return kKindNone;
  if (code <= 3) return kKindPlain;
  return GSIsReferenceType(code) ? kKindReference : kKindInvalid;
}

}  // namespace GSRuntime
