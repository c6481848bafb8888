#include "foundation/text/StringHelpers.h"

#include <array>
#include <cstdint>
#include <utility>

namespace {

constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
  for (int c = 1; c < 32; ++c) table[c] = 255;
  for (int c = 0; c < 26; ++c) {
    table['A' + c] = static_cast<unsigned char>(c + 1);
    table['a' + c] = static_cast<unsigned char>(c + 1);
  }
  return table;
}

constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

unsigned char Fold(char c) {
  return kFold[static_cast<unsigned char>(c)];
}

// The character a backslash followed by `c` stands for.
char EscapedChar(char c) {
  switch (c) {
    case 'n':
      return '\n';
    case 't':
      return '\t';
    case 'v':
      return '\v';
    case 'r':
      return '\r';
    case 'f':
      return '\f';
    case 'b':
      return '\b';
    case 'a':
      return '\a';
    default:
      return c;
  }
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

Kiv::String ResolveEscapes(std::string_view text) {
  Kiv::String out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) break;  // a lone backslash at the end
    if (text[i] == '0') break;      // an escaped NUL ends the text
    out.push_back(EscapedChar(text[i]));
  }
  return out;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

void StripDirectory(Kiv::String& path) {
  const size_t last = path.find_last_of("\\/:");
  if (last == Kiv::String::npos) return;
  path.erase(0, last + 1);
}

Kiv::String UnquoteLiteral(std::string_view token, bool resolveEscapes) {
  if (!token.empty() && IsQuote(token.back())) token.remove_suffix(1);
  if (!token.empty() && token.front() == 'L') token.remove_prefix(1);
  if (token.empty() || !IsQuote(token.front())) return Kiv::String();
  token.remove_prefix(1);
  if (!resolveEscapes) return Kiv::String(token);
  return ResolveEscapes(token);
}

Kiv::AnsiString AnsiStringConcat(const Kiv::AnsiString& text, const char* tail) {
  Kiv::AnsiString out = text;
  if (tail != nullptr) out += tail;
  return out;
}

Kiv::PString ConcatPString(const Kiv::PString& text, const char* tail) {
  Kiv::PString out = text;
  if (tail != nullptr) out.Append(tail);
  return out;
}

bool PStringToLower(Kiv::PString& text) {
  if (!text.Empty()) text.ToLower();
  return true;
}
