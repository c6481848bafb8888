#include "gsnative/HTMLBuffer.h"

#include <cstring>
#include <string_view>

void HTMLBuffer::Append(const char* bytes, size_t n) {
  if (bytes == nullptr || n == 0) return;
  if (length_ + n > bytes_.size()) bytes_.resize(2 * bytes_.size() + n, 0);
  std::memcpy(bytes_.data() + length_, bytes, n);
  length_ += static_cast<uint32_t>(n);
  empty_ = false;
}

void HTMLBuffer::AppendText(const char* text) {
  if (text != nullptr) Append(text, std::strlen(text));
}

void HTMLBuffer::AppendEscaped(const char* text) {
  if (text == nullptr || *text == '\0') return;
  empty_ = false;
  for (const char* at = text; *at != '\0'; ++at) {
    switch (*at) {
      case '<':
        Append("&lt;", 4);
        break;
      case '>':
        Append("&gt;", 4);
        break;
      case '&':
        Append("&amp;", 5);
        break;
      case '\r':
      case '\n':
        Append("<br>", 4);
        if ((at[1] == '\r' || at[1] == '\n') && at[1] != at[0]) ++at;
        break;
      default:
        Append(at, 1);
        break;
    }
  }
}

void HTMLBuffer::Clear() {
  bytes_.clear();
  length_ = 0;
  empty_ = true;
}

Kiv::PString HTMLBuffer::GetText() const {
  if (length_ == 0) return Kiv::PString();
  const std::string_view text(bytes_.data(), length_);
  return Kiv::PString(text.substr(0, text.find('\0')));
}
