#include "gsnative/HTMLBuffer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// What the escaped text holds for the character at `at`; a line break
// pair (CR LF or LF CR) is one "<br>", and `at` is moved onto its second
// character.
std::string_view EscapeOf(const char*& at) {
  switch (*at) {
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '&':
      return "&amp;";
    case '\r':
    case '\n':
      if ((at[1] == '\r' || at[1] == '\n') && at[1] != at[0]) ++at;
      return "<br>";
    default:
      return std::string_view(at, 1);
  }
}

}  // namespace

bool HTMLBuffer::Reserve(size_t n) {
  if (length_ + n <= bytes_.size()) return true;
  const size_t size = std::min(2 * bytes_.size() + n, kMaxLength);
  // The old storage stays held until the new one holds its text.
  if (!charge_.TrySet(context_, bytes_.size() + size)) return false;
  bytes_.resize(size, 0);
  charge_.Set(context_, bytes_.size());
  return true;
}

bool HTMLBuffer::Append(const char* bytes, size_t n) {
  if (bytes == nullptr || n == 0) return true;
  if (n > kMaxLength - length_) return false;
  if (!Reserve(n)) return false;
  std::memcpy(bytes_.data() + length_, bytes, n);
  length_ += static_cast<uint32_t>(n);
  empty_ = false;
  return true;
}

bool HTMLBuffer::AppendText(const char* text) {
  return text == nullptr || Append(text, std::strlen(text));
}

bool HTMLBuffer::AppendEscaped(const char* text) {
  if (text == nullptr || *text == '\0') return true;
  size_t n = 0;
  for (const char* at = text; *at != '\0'; ++at) n += EscapeOf(at).size();
  if (n > kMaxLength - length_) return false;
  if (!Reserve(n)) return false;
  empty_ = false;
  for (const char* at = text; *at != '\0'; ++at) {
    const std::string_view piece = EscapeOf(at);
    Append(piece.data(), piece.size());
  }
  return true;
}

void HTMLBuffer::Clear() {
  std::vector<char>().swap(bytes_);
  charge_.Set(context_, 0);
  length_ = 0;
  empty_ = true;
}

Kiv::PString HTMLBuffer::GetText() const {
  if (length_ == 0) return Kiv::PString();
  const std::string_view text(bytes_.data(), length_);
  return Kiv::PString(text.substr(0, text.find('\0')));
}
