// TextSoup::Parse: reads the text form of a soup (see TextSoup.h).
//
// The stream is read whole into memory first; the reader then walks the
// bytes with a cursor, so every look-ahead and every step back stays inside
// the bytes it has. The end of the text reads as a NUL byte, and a NUL byte
// inside the text is refused before parsing starts, so 0 means "end" only.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/CharBuffer.h"
#include "foundation/KUID.h"
#include "foundation/LogMessage.h"
#include "foundation/TextRecoding.h"
#include "foundation/TextSoup.h"

namespace {

using Status = TextSoup::Status;

static_assert(std::endian::native == std::endian::little,
              "SkipBlanks reads 8 bytes as one little-endian word");

constexpr uint32_t kReadPiece = 64 * 1024;
constexpr uint32_t kMaxPiece = 1u << 30;

bool IsBlank(int c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(int c) { return c == '\r' || c == '\n'; }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// The value kinds that ClassifyValue tells apart.
enum class Kind { kNone, kSoup, kInt, kFloat, kList, kText };

// Reads all bytes from the stream's position to its end. Answers kOk,
// kReadFailed or kOutOfMemory.
Status ReadAllBytes(TStream& stream, std::vector<char>& text) {
  const uint32_t errorBefore = stream.GetError();
  const uint32_t start = stream.Tell();
  const uint32_t size = stream.GetSize();
  try {
    // The stream's size is a hint only: reading goes on until nothing more
    // comes, and the room grows when more does.
    text.resize(size_t(size > start ? size - start : 0) + 1);
    size_t used = 0;
    for (;;) {
      if (used == text.size()) text.resize(used + std::max<size_t>(kReadPiece, used / 2));
      const auto room = uint32_t(std::min<size_t>(text.size() - used, kMaxPiece));
      const uint32_t got = stream.Read(text.data() + used, room);
      used += got;
      if (got == 0) break;
      // Positions in a stream are 32-bit; nothing longer can be addressed.
      if (used > std::numeric_limits<uint32_t>::max()) return Status::kOutOfMemory;
    }
    text.resize(used);
  } catch (const std::bad_alloc&) {
    return Status::kOutOfMemory;
  }
  if (errorBefore == TStream::kErrorNone && stream.GetError() != TStream::kErrorNone) {
    return Status::kReadFailed;
  }
  return Status::kOk;
}

class TextSoupReader {
 public:
  TextSoupReader(const char* begin, const char* end, bool utf8)
      : begin_(begin), p_(begin), end_(end), utf8_(utf8) {}

  // Parses the top level into `soup`. On failure `errorAt` is the offset
  // of the fault.
  Status ParseTop(Soup& soup) {
    const Status status = ParseLevel(soup, 0);
    if (status != Status::kOk) return status;
    // The top level ends at the end of the text or at a "}" that matches
    // nothing. Stray braces at the very end are harmless; anything after
    // one would be silently dropped, so that text is refused.
    for (const char* q = p_; q < end_; ++q) {
      if (*q != '}' && !IsBlank(*q) && !IsLineEnd(*q)) return Fail(Status::kUnmatchedBrace, p_);
    }
    return Status::kOk;
  }

  size_t Consumed() const { return size_t(p_ - begin_); }
  size_t ErrorOffset() const { return size_t(errorAt_ - begin_); }

 private:
  Status Fail(Status status, const char* at) {
    errorAt_ = at;
    return status;
  }

  // --- Character steps. -----------------------------------------------------
  int ReadChar() { return p_ < end_ ? static_cast<unsigned char>(*p_++) : 0; }
  int PeekChar() const { return p_ < end_ ? static_cast<unsigned char>(*p_) : 0; }
  // Skips blanks (and line ends when asked); answers the next byte, which
  // stays unread.
  int SkipBlanks(bool lineEnds) {
    // Runs of spaces (the padding that lines values up) go 8 at a time; the
  // first byte that is not a space is the lowest one that differs.
    constexpr uint64_t kSpaces = 0x2020202020202020ull;
    while (end_ - p_ >= 8) {
      uint64_t word;
      std::memcpy(&word, p_, sizeof word);
      const uint64_t other = word ^ kSpaces;
      if (other != 0) {
        p_ += std::countr_zero(other) >> 3;
        break;
      }
      p_ += 8;
    }
    while (p_ < end_ && (IsBlank(*p_) || (lineEnds && IsLineEnd(*p_)))) ++p_;
    return PeekChar();
  }
  // The end of the value that starts at p_: the next line end or the end of
  // the text.
  const char* LineEnd() const {
    const char* q = p_;
    while (q < end_ && !IsLineEnd(*q)) ++q;
    return q;
  }

  // --- Structure. -----------------------------------------------------------
  Status ParseLevel(Soup& soup, uint32_t depth) {
    for (;;) {
      if (!ReadName()) return Status::kOk;
      const char* valueAt = p_;
      const Kind kind = ClassifyValue();
      const Status status = StoreValue(soup, kind, depth, valueAt);
      if (status != Status::kOk) return status;
    }
  }

  // Reads the next name into name_. False at "}" or the end of the text
  // (neither is consumed), which ends the current level.
  bool ReadName() {
    const int first = SkipBlanks(true);
    if (first == 0 || first == '}') return false;
    char* const stored = nameChars_.data();
    uint32_t length = 0;
    while (p_ < end_) {
      const auto c = static_cast<unsigned char>(*p_);
      if (IsBlank(c) || IsLineEnd(c) || c == '}') break;
      ++p_;
      if (length == TextSoup::kMaxNameLength) continue;
      stored[length++] = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    name_ = Kiv::PString(std::string_view(stored, length));
    return true;
  }

  // Decides the kind of the value that follows the name. The cursor ends
  // after a "{", which is consumed, at the value's first byte for a value
  // on the same line, and where it was otherwise.
  Kind ClassifyValue() {
    const char* noted = p_;
    const int c = SkipBlanks(false);
    if (IsLineEnd(c)) {
      if (SkipBlanks(true) == '{') {
        ++p_;
        return Kind::kSoup;
      }
      p_ = noted;
      return Kind::kNone;
    }
    if (c == 0 || c == '}') {
      p_ = noted;
      return Kind::kNone;
    }
    if (c == '{') {
      ++p_;
      return Kind::kSoup;
    }
    // Every value reader skips these blanks first: start it past them.
    return c == '"' ? Kind::kText : ClassifyWord();
  }

  // The kind of an unquoted value at p_: a number when it starts with a
  // digit, "-" or "." and holds only number characters up to the line end.
  Kind ClassifyWord() const {
    const char* q = p_;
    const int first = static_cast<unsigned char>(*q);
    if (!IsDigit(first) && first != '-' && first != '.') return Kind::kText;
    if (*q == '-') ++q;
    bool dot = false;
    for (; q < end_ && (IsDigit(*q) || *q == '.'); ++q) dot = dot || *q == '.';
    while (q < end_ && IsBlank(*q)) ++q;
    if (q == end_ || IsLineEnd(*q)) return dot ? Kind::kFloat : Kind::kInt;
    for (q = p_; q < end_; ++q) {
      const char d = *q;
      if (!IsDigit(d) && d != '-' && d != '.' && d != ',' && !IsBlank(d)) break;
    }
    return q == end_ || IsLineEnd(*q) ? Kind::kList : Kind::kText;
  }

  Status StoreValue(Soup& soup, Kind kind, uint32_t depth, const char* valueAt) {
    switch (kind) {
      case Kind::kNone:
        soup.SetNamedNull(name_);
        return Status::kOk;
      case Kind::kSoup: return ReadSubSoup(soup, depth);
      case Kind::kInt: return ReadInt(soup);
      case Kind::kFloat: return ReadFloat(soup);
      case Kind::kList: return ReadNumberList(soup);
      case Kind::kText: return ReadText(soup, valueAt);
    }
    return Status::kOk;
  }

  // The "{" is consumed. Reads the children up to the matching "}".
  Status ReadSubSoup(Soup& soup, uint32_t depth) {
    const char* brace = p_ - 1;
    if (depth + 1 > TextSoup::kMaxDepth) return Fail(Status::kTooDeep, brace);
    const Kiv::PString name = std::move(name_);
    Soup child;
    child.Create();
    const Status status = ParseLevel(child, depth + 1);
    if (status != Status::kOk) return status;
    soup.SetNamedSoup(name, child);
    if (!SkipClosingBrace()) return Fail(Status::kUnterminatedSoup, brace);
    return Status::kOk;
  }

  // Skips blanks and line ends and consumes a "}". False when the text ends
  // first.
  bool SkipClosingBrace() {
    if (SkipBlanks(true) != '}') return false;
    ++p_;
    return true;
  }

  // --- Numbers. The classifier has checked that the value up to the line
  // end holds only number characters, so the token is that whole stretch.
  Status ReadInt(Soup& soup) {
    SkipBlanks(false);
    const char* q = p_;
    const char* end = LineEnd();
    const bool negative = q < end && *q == '-';
    if (negative) ++q;
    if (q == end || !IsDigit(*q)) return Fail(Status::kBadNumber, p_);
    // Accumulate with saturation: out-of-range texts clamp to 32 bits.
    int64_t value = 0;
    for (; q < end && IsDigit(*q); ++q) {
      value = value * 10 + (*q - '0');
      if (value > int64_t(1) << 32) value = int64_t(1) << 32;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) value = std::numeric_limits<int32_t>::min();
    soup.SetNamedInt(name_, int32_t(value));
    p_ = end;
    return Status::kOk;
  }

  Status ReadFloat(Soup& soup) {
    SkipBlanks(false);
    const char* end = LineEnd();
    float value = 0;
    if (!ScanFloat(p_, end, value)) return Fail(Status::kBadNumber, p_);
    soup.SetNamedFloat(name_, value);
    p_ = end;
    return Status::kOk;
  }

  // Every piece between spaces, tabs and commas is one float; the list has
  // no length limit.
  Status ReadNumberList(Soup& soup) {
    SkipBlanks(false);
    const char* end = LineEnd();
    floats_.clear();
    for (const char* q = p_; q < end;) {
      if (*q == ',' || IsBlank(*q)) {
        ++q;
        continue;
      }
      const char* piece = q;
      while (q < end && *q != ',' && !IsBlank(*q)) ++q;
      float value = 0;
      if (!ScanFloat(piece, q, value)) return Fail(Status::kBadNumber, piece);
      floats_.push_back(value);
    }
    soup.SetNamedFloatArray(name_, floats_);
    p_ = end;
    return Status::kOk;
  }

  // Scans the longest prefix of [from, to) that is a decimal float, as "%f"
  // does. False when there is none.
  static bool ScanFloat(const char* from, const char* to, float& out) {
    const auto [next, error] = std::from_chars(from, to, out, std::chars_format::fixed);
    if (error == std::errc()) return true;
    if (error != std::errc::result_out_of_range) return false;
    // Beyond the float range: the C library's answer (infinity, or 0 and
    // denormals for tiny values).
    const std::string number(from, next);
    out = std::strtof(number.c_str(), nullptr);
    return true;
  }

  // --- Texts. ---------------------------------------------------------------
  Status ReadText(Soup& soup, const char* valueAt) {
    const Status status = ReadValueText();
    if (status != Status::kOk) return Fail(status, valueAt);
    const uint32_t length = text_.Length() - 1;  // without the NUL
    const std::string_view text(text_.Data(), length);
    if (text.empty()) {
      soup.SetNamedTag(name_, std::string_view());
      return Status::kOk;
    }
    if (LooksLikeKUID(text)) {
      soup.SetNamedKUID(name_, ParseKUID(text_.Data(), false));
      return Status::kOk;
    }
    if (!utf8_ && HasHighByte(text)) return StoreAnsiText(soup);
    soup.SetNamedTag(name_, text);
    return Status::kOk;
  }

  static bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
      char c = text[i];
      if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
      if (c != prefix[i]) return false;
    }
    return true;
  }

  // A KUID text starts with one of the KUID forms and holds fewer than two
  // KUID literals (counted in lower case only).
  static bool LooksLikeKUID(std::string_view text) {
    if (!StartsWithNoCase(text, "<KUID:") && !StartsWithNoCase(text, "<KUID2:") &&
        !StartsWithNoCase(text, "<NULL>")) {
      return false;
    }
    int literals = 0;
    for (size_t at = text.find("<kuid"); at != std::string_view::npos && literals < 2;
         at = text.find("<kuid", at + 1)) {
      const std::string_view rest = text.substr(at);
      if (rest.starts_with("<kuid:") || rest.starts_with("<kuid2:")) ++literals;
    }
    return literals < 2;
  }

  static bool HasHighByte(std::string_view text) {
    for (const char c : text) {
      if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
  }

  // Converts text_ from the ANSI code page to UTF-8 and stores it.
  Status StoreAnsiText(Soup& soup) {
    int64_t needed = CodePageToUtf8(text_.Length(), text_.Data());
    if (needed > 0) {
      if (needed > std::numeric_limits<uint32_t>::max() || !text_.Resize(uint32_t(needed))) {
        return Fail(Status::kOutOfMemory, p_);
      }
      needed = CodePageToUtf8(text_.Length(), text_.Data());
    }
    if (needed > 0) return Fail(Status::kOutOfMemory, p_);
    soup.SetNamedTag(name_, std::string_view(text_.Data(), std::strlen(text_.Data())));
    return Status::kOk;
  }

  // Reads a value's text into text_ and adds a NUL after it.
  Status ReadValueText() {
    if (!text_.Resize(0)) return Status::kOutOfMemory;
    const int first = SkipBlanks(false);
    Status status = Status::kOk;
    if (first == '"') {
      ++p_;
      status = ReadQuoted();
    } else if (first != 0 && first != '}' && !IsLineEnd(first)) {
      status = ReadUnquoted();
    }
    if (status != Status::kOk) return status;
    return text_.Push('\0') ? Status::kOk : Status::kOutOfMemory;
  }

  // After the opening double quote: up to the closing one, which is
  // consumed. Line ends are stored as CR LF; a CR LF or LF CR pair is one.
  Status ReadQuoted() {
    for (;;) {
      const char* run = p_;
      while (p_ < end_ && *p_ != '"' && !IsLineEnd(*p_)) ++p_;
      if (!Append(run, size_t(p_ - run))) return Status::kOutOfMemory;
      const int c = ReadChar();
      if (c == 0) return Status::kUnterminatedString;
      if (c == '"') return Status::kOk;
      const int pair = c == '\r' ? '\n' : '\r';
      if (PeekChar() == pair) ++p_;
      if (!Append("\r\n", 2)) return Status::kOutOfMemory;
    }
  }

  // Up to a line end or "}" (not consumed) or the end of the text; a
  // backslash followed by "n" becomes CR LF.
  Status ReadUnquoted() {
    for (;;) {
      const char* run = p_;
      while (p_ < end_ && *p_ != '\\' && *p_ != '}' && !IsLineEnd(*p_)) ++p_;
      if (!Append(run, size_t(p_ - run))) return Status::kOutOfMemory;
      if (p_ == end_ || *p_ != '\\') return Status::kOk;
      ++p_;
      const bool newline = PeekChar() == 'n';
      if (newline) ++p_;
      if (!Append(newline ? "\r\n" : "\\", newline ? 2 : 1)) return Status::kOutOfMemory;
    }
  }

  bool Append(const char* bytes, size_t n) {
    if (n == 0) return true;
    const uint64_t length = uint64_t(text_.Length()) + n;
    if (length >= std::numeric_limits<uint32_t>::max()) return false;
    const uint32_t at = text_.Length();
    if (!text_.Resize(uint32_t(length))) return false;
    std::memcpy(text_.Data() + at, bytes, n);
    return true;
  }

  const char* const begin_;
  const char* p_;
  const char* const end_;
  const bool utf8_;
  const char* errorAt_ = nullptr;
  Kiv::PString name_;
  std::array<char, TextSoup::kMaxNameLength> nameChars_;
  CharBuffer text_;
  std::vector<float> floats_;
};

// The 1-based line of the byte at `offset`: CR LF, LF and a lone CR each
// end a line.
uint32_t LineOf(const std::vector<char>& text, size_t offset) {
  uint32_t line = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) ++line;
  }
  return line;
}

TextSoup::Result Refuse(Status status, uint32_t line) {
  if (line == 0) {
    LogMessage("Text soup refused: %s", TextSoup::StatusText(status));
  } else {
    LogMessage("Text soup refused: %s on line %u", TextSoup::StatusText(status), line);
  }
  return {status, line};
}

// The offset of a NUL byte that has other bytes after it; the text ends at
// the first NUL when only NULs follow it. Answers text.size() when clean.
size_t FindNulByte(std::vector<char>& text) {
  const void* nul = std::memchr(text.data(), 0, text.size());
  if (nul == nullptr) return text.size();
  const size_t at = size_t(static_cast<const char*>(nul) - text.data());
  for (size_t i = at; i < text.size(); ++i) {
    if (text[i] != '\0') return at;
  }
  text.resize(at);
  return text.size();
}

}  // namespace

TextSoup::Result TextSoup::Parse(Soup& soup, TStream& stream, bool utf8) {
  soup.Release();
  if (!stream.IsOpen()) return Refuse(Status::kStreamClosed, 0);
  const uint32_t start = stream.Tell();
  std::vector<char> text;
  const Status readStatus = ReadAllBytes(stream, text);
  if (readStatus != Status::kOk) return Refuse(readStatus, 0);
  const size_t fullSize = text.size();
  const size_t nulAt = FindNulByte(text);
  if (nulAt < text.size()) return Refuse(Status::kNulByte, LineOf(text, nulAt));

  size_t skip = 0;
  if (start == 0 && std::string_view(text.data(), text.size()).starts_with("\xEF\xBB\xBF")) {
    utf8 = true;
    skip = 3;
  }
  TextSoupReader reader(text.data() + skip, text.data() + text.size(), utf8);
  Status status = Status::kOk;
  try {
    status = reader.ParseTop(soup);
  } catch (const std::bad_alloc&) {
    status = Status::kOutOfMemory;
  }
  if (status != Status::kOk) {
    soup.Release();
    const size_t at = status == Status::kOutOfMemory ? reader.Consumed() : reader.ErrorOffset();
    return Refuse(status, LineOf(text, skip + at));
  }
  // Leave the stream after the soup (before a stray closing brace, or at
  // the end; trailing NUL padding counts as read).
  const size_t consumed = skip + reader.Consumed();
  stream.SeekTo(uint32_t(start + (consumed == text.size() ? fullSize : consumed)));
  return {};
}
