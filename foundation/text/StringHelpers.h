// Small string helpers of the script compiler, the text-soup reader and the
// message system.
//
// EqualsNoCase compares through a folding table: A-Z and a-z fold to 1-26,
// the bytes 1-31 all fold to 255 (so any two control characters, and byte
// 255, compare equal), every other byte folds to itself. It compares file
// extensions.
//
// StripDirectory keeps the text after the last '\\', '/' or ':' (nothing
// when such a character ends the text; the whole text when there is none).
//
// UnquoteLiteral turns a string or character literal token into its text:
// a final double or single quote is dropped, an optional leading 'L' is
// skipped, and a token that does not then start with a quote gives "".
// With `resolveEscapes`, a backslash followed by n, t, v, r, f, b or a gives
// that control character, followed by 0 ends the text there (as a NUL in
// the text would), followed by any other character (a backslash or a quote
// included) gives that character, and a backslash at the very end is
// dropped. Without it the text between the quotes is returned as it is.
// Literals of any length are kept whole.
//
// None of these fail; null C strings count as empty.
#pragma once

#include <string_view>
#include <utility>

#include "kiv/PString.h"
#include "kiv/String.h"

bool EqualsNoCase(std::string_view a, std::string_view b);

void StripDirectory(Kiv::String& path);

Kiv::String UnquoteLiteral(std::string_view token, bool resolveEscapes = true);

// The second text appended to the first, as a new string.
Kiv::AnsiString AnsiStringConcat(const Kiv::AnsiString& text, const char* tail);
Kiv::PString ConcatPString(const Kiv::PString& text, const char* tail);

// Replaces `text` by its ASCII lower-cased interned form; always true (an
// empty string is left alone).
bool PStringToLower(Kiv::PString& text);

// Two interned strings held together; destruction releases the second and
// then the first.
struct PStringPair {
  PStringPair() = default;
  PStringPair(Kiv::PString a, Kiv::PString b) : first(std::move(a)), second(std::move(b)) {}
  PStringPair(const PStringPair&) = default;
  PStringPair(PStringPair&&) = default;
  PStringPair& operator=(const PStringPair&) = default;
  PStringPair& operator=(PStringPair&&) = default;
  ~PStringPair() {
    second.Release();
    first.Release();
  }

  Kiv::PString first;
  Kiv::PString second;
};

// A one-word holder around a pointer, for message parameters. It neither
// adds nor releases a reference: the pointee must outlive the holder.
struct WrappedPointer {
  void* pointer = nullptr;
};

inline WrappedPointer WrapPointer(void* pointer) {
  return WrappedPointer{pointer};
}
