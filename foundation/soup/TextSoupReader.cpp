// TextSoup::Parse: reads the text form of a soup (see TextSoup.h).
//
// The stream is read whole into memory first; the reader then walks the
// bytes with a cursor, so every look-ahead and every step back stays inside
// the bytes it has. The end of the text reads as a NUL byte, and the text is
// cut at its first NUL byte before parsing starts, so 0 means "end" only.
//
// Nothing in the text is refused: every step ends at the end of the text as
// it would at its own terminator, so a missing "}" or closing double quote
// ends the open values there. Only reading the stream and memory can fail.
//
// The reader builds the tree itself, exactly as the setters of Soup would
// (each tag replaces the first one of its name and goes to the end), with
// its tags and containers made in one ChunkArena (see ChunkArena.h).
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/base/LogMessage.h"
#include "foundation/soup/ChunkArena.h"
#include "foundation/soup/TDBContainerTag.h"
#include "foundation/soup/TDBDataTag.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/CharBuffer.h"
#include "foundation/text/KUID.h"
#include "foundation/text/TextRecoding.h"

namespace {

using Status = TextSoup::Status;

constexpr uint32_t kReadPiece = 64 * 1024;
constexpr uint32_t kMaxPiece = 1u << 30;

bool IsBlank(int c) {
  return c == ' ' || c == '\t';
}
bool IsLineEnd(int c) {
  return c == '\r' || c == '\n';
}
bool IsDigit(int c) {
  return c >= '0' && c <= '9';
}

// The value kinds that ClassifyValue tells apart.
enum class Kind { kNone, kSoup, kInt, kFloat, kList, kText };

// Leaves new elements uninitialised (the stream fills them), so growing the
// text's room does not clear it first.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using TextBytes = std::vector<char, UninitialisedAllocator<char>>;

// Reads all bytes from the stream's position to its end. Answers kOk,
// kReadFailed or kOutOfMemory.
Status ReadAllBytes(TStream& stream, TextBytes& text) {
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
      : begin_(begin),
        p_(begin),
        end_(end),
        utf8_(utf8),
        arena_(ChunkArena::Open(size_t(end - begin) * kArenaPerTextByte)) {}
  ~TextSoupReader() {
    if (arena_ == nullptr) return;
    // The recent names are the arena's, borrowed.
    for (Recent& recent : recentNames_) recent.name.Forget();
    arena_->Close();
  }
  TextSoupReader(const TextSoupReader&) = delete;
  TextSoupReader& operator=(const TextSoupReader&) = delete;

  // Parses the top level into `top` (made at the first tag; left empty
  // without tags). It ends at the end of the text or at a "}" that matches
  // nothing, which is left unread. Answers kOk or kOutOfMemory.
  Status ParseTop(ChunkRef& top) {
    const Status status = ParseLevel(top, 0);
    // A tree read whole may go whole (see ChunkArena.h).
    if (status == Status::kOk && arena_ != nullptr && top) arena_->SetRoot(top.get());
    return status;
  }

  size_t Consumed() const { return size_t(p_ - begin_); }

 private:
  // --- Character steps. -----------------------------------------------------
  int ReadChar() { return p_ < end_ ? static_cast<unsigned char>(*p_++) : 0; }
  int PeekChar() const { return p_ < end_ ? static_cast<unsigned char>(*p_) : 0; }
  // Skips blanks (and line ends when asked); answers the next byte, which
  // stays unread.
  int SkipBlanks(bool lineEnds) {
    p_ = lineEnds ? FindOther<' ', '\t', '\r', '\n'>(p_) : FindOther<' ', '\t'>(p_);
    return PeekChar();
  }
  // The end of the value that starts at p_: the next line end or the end of
  // the text.
  const char* LineEnd() const { return FindAny<'\r', '\n'>(p_); }

  // The first byte from `q` on that is one of `Bytes` (FindAny) or none of
  // them (FindOther), else end_. Runs go 16 bytes at a time while they lie
  // inside the text.
  template <char... Bytes>
  const char* FindAny(const char* q) const {
#if defined(__SSE2__)
    while (end_ - q >= 16) {
      const auto hits = uint32_t(_mm_movemask_epi8(AnyOf<Bytes...>(Load(q))));
      if (hits != 0) return q + std::countr_zero(hits);
      q += 16;
    }
#endif
    while (q < end_ && ((*q != Bytes) && ...)) ++q;
    return q;
  }
  template <char... Bytes>
  const char* FindOther(const char* q) const {
#if defined(__SSE2__)
    while (end_ - q >= 16) {
      const auto others = uint32_t(_mm_movemask_epi8(AnyOf<Bytes...>(Load(q)))) ^ 0xFFFFu;
      if (others != 0) return q + std::countr_zero(others);
      q += 16;
    }
#endif
    while (q < end_ && ((*q == Bytes) || ...)) ++q;
    return q;
  }
#if defined(__SSE2__)
  static __m128i Load(const char* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  }
  // 0xFF in each lane that holds one of the bytes.
  template <char First, char... Rest>
  static __m128i AnyOf(__m128i lanes) {
    const __m128i hit = _mm_cmpeq_epi8(lanes, _mm_set1_epi8(First));
    if constexpr (sizeof...(Rest) == 0) {
      return hit;
    } else {
      return _mm_or_si128(hit, AnyOf<Rest...>(lanes));
    }
  }
#endif

  // --- Structure. -----------------------------------------------------------
  Status ParseLevel(ChunkRef& level, uint32_t depth) {
    for (;;) {
      if (!ReadName()) return Status::kOk;
      const Kind kind = ClassifyValue();
      // A sub-soup's name is interned after its children (ReadSubSoup).
      if (kind != Kind::kSoup) InternName(StoredName());
      const Status status = StoreValue(level, kind, depth);
      if (status != Status::kOk) return status;
    }
  }

  // Adds `tag` to `level` (made first when empty) as the Soup setters do:
  // the first tag of that name goes, the new one goes to the end.
  void Put(ChunkRef& level, const Kiv::PString& name, ChunkRef tag) {
    if (!level) level = TDBContainerTag::CreateIn(arena_);
    auto* container = static_cast<TDBContainerTag*>(level.get());
    // Every name read is held by the arena (InternName), which outlives
    // the containers made in it.
    if (arena_ != nullptr) return container->ReplaceFirstNamedBorrowingName(name, std::move(tag));
    container->ReplaceFirstNamed(name, std::move(tag));
  }
  void PutValue(ChunkRef& level, uint32_t type, const void* data, uint32_t size) {
    Put(level, *name_, TDBDataTag::CreateCopyIn(arena_, type, data, size));
  }
  // A string tag; the empty text gives one without bytes.
  void PutText(ChunkRef& level, std::string_view text) {
    if (text.empty()) return PutValue(level, SoupType::kString, nullptr, 0);
    Put(level, *name_, TDBDataTag::CreateTextIn(arena_, text));
  }

  // Reads the next name into nameChars_ (see StoredName).
  // False at "}" or the end of the text (neither is consumed), which ends
  // the current level.
  bool ReadName() {
    const int first = SkipBlanks(true);
    if (first == 0 || first == '}') return false;
    char* const stored = nameChars_.data();
    uint32_t length = CopyNameRun(stored);
    while (p_ < end_) {
      const auto c = static_cast<unsigned char>(*p_);
      if (IsBlank(c) || IsLineEnd(c) || c == '}') break;
      ++p_;
      if (length == TextSoup::kMaxNameLength) continue;
      stored[length++] = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    nameLength_ = length;
    return true;
  }

  // The name ReadName read last, at the start of nameChars_.
  std::string_view StoredName() const { return std::string_view(nameChars_.data(), nameLength_); }

  // Copies the start of a name at p_ into `stored`, ASCII capitals lowered,
  // 16 bytes at a time while they lie inside the text and the room for a
  // name; stops at the name's end (a blank, a line end or "}", not
  // consumed) or before the last 16 bytes of either. Answers the bytes
  // copied; p_ is moved past them.
  uint32_t CopyNameRun(char* stored) {
    uint32_t length = 0;
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i brace = _mm_set1_epi8('}');
    const __m128i beforeA = _mm_set1_epi8('A' - 1);
    const __m128i afterZ = _mm_set1_epi8('Z' + 1);
    const __m128i toLower = _mm_set1_epi8('a' - 'A');
    while (end_ - p_ >= 16 && length + 16 <= TextSoup::kMaxNameLength) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_));
      const __m128i stop = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi8(bytes, blank), _mm_cmpeq_epi8(bytes, tab)),
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)),
                       _mm_cmpeq_epi8(bytes, brace)));
      // Signed compares: bytes from 0x80 up are negative, never capitals.
      const __m128i capital =
          _mm_and_si128(_mm_cmpgt_epi8(bytes, beforeA), _mm_cmplt_epi8(bytes, afterZ));
      const __m128i lowered = _mm_add_epi8(bytes, _mm_and_si128(capital, toLower));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(stored + length), lowered);
      const auto stops = uint32_t(_mm_movemask_epi8(stop));
      if (stops != 0) {
        const auto run = uint32_t(std::countr_zero(stops));
        p_ += run;
        return length + run;
      }
      p_ += 16;
      length += 16;
    }
#endif
    return length;
  }

  // Points name_ at `text` interned. Names repeat (the sub-soups of a list
  // hold the same tags), so the names met last are kept by a hash of their
  // bytes, and one found there is used as it is rather than interned again.
  // name_ stays valid until the next name is read. `text` lies at the start
  // of nameChars_, so its first 8 bytes can be read whatever its length.
  void InternName(std::string_view text) {
    const NameWords words = WordsOf(text);
    Recent& recent = recentNames_[RecentSlot(words, text.size())];
    if (!Holds(recent, words, text)) {
      Kiv::PString fresh(text);
      if (arena_ != nullptr) {
        // The arena keeps the use and the slot borrows the name, so a name
        // leaving the slot is not touched (it is far out of cache by then).
        const Kiv::PString& held = arena_->HoldName(std::move(fresh));
        recent.name.Forget();
        recent.name.Borrow(held);
      } else {
        recent.name = std::move(fresh);
      }
      recent.text = recent.name.View();
      recent.words = words;
    }
    name_ = &recent.name;
  }

  // True when `text` is one of the recent names (InternName would not
  // intern it).
  bool IsRecentName(std::string_view text) const {
    const NameWords words = WordsOf(text);
    return Holds(recentNames_[RecentSlot(words, text.size())], words, text);
  }

  // The first 8 bytes of a name (zero past its end) and, for a name longer
  // than 8 bytes, its last 8.
  struct NameWords {
    uint64_t head = 0;
    uint64_t tail = 0;
  };
  static NameWords WordsOf(std::string_view text) {
    static_assert(TextSoup::kMaxNameLength >= 8, "a name's room holds a word");
    const size_t n = text.size();
    NameWords words;
    std::memcpy(&words.head, text.data(), 8);
    if (n < 8) words.head &= (uint64_t{1} << (8 * n)) - 1;
    if (n > 8) std::memcpy(&words.tail, text.data() + n - 8, 8);
    return words;
  }

  // True when the recent name `recent` is `text`, whose words are `words`.
  struct Recent;
  static bool Holds(const Recent& recent, const NameWords& words, std::string_view text) {
    // Up to 16 bytes, the two words hold the whole name.
    return recent.words.head == words.head && recent.words.tail == words.tail &&
           recent.text.size() == text.size() && (text.size() <= 16 || recent.text == text);
  }

  static size_t RecentSlot(const NameWords& words, size_t n) {
    const uint64_t h =
        (words.head ^ (words.tail * 0x9E3779B97F4A7C15ull) ^ n) * 0xBF58476D1CE4E5B9ull;
    return size_t(h >> (64 - kRecentBits));
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
  // digit, "-" or "." and holds only number characters up to the line end
  // (one number then blanks, or a list). For a number, numberEnd_ is where
  // the value's line ends.
  Kind ClassifyWord() {
    const char* q = p_;
    const int first = static_cast<unsigned char>(*q);
    if (!IsDigit(first) && first != '-' && first != '.') return Kind::kText;
    if (*q == '-') ++q;
    bool dot = false;
    for (; q < end_ && (IsDigit(*q) || *q == '.'); ++q) dot = dot || *q == '.';
    while (q < end_ && IsBlank(*q)) ++q;
    // What went before holds only number characters: a list goes on from
    // here (one pass over the value).
    const char* const single = q;
    for (; q < end_; ++q) {
      const char d = *q;
      if (!IsDigit(d) && d != '-' && d != '.' && d != ',' && !IsBlank(d)) break;
    }
    if (q != end_ && !IsLineEnd(*q)) return Kind::kText;
    numberEnd_ = q;
    if (q == single) return dot ? Kind::kFloat : Kind::kInt;
    return Kind::kList;
  }

  Status StoreValue(ChunkRef& level, Kind kind, uint32_t depth) {
    switch (kind) {
      case Kind::kNone:
        PutValue(level, SoupType::kNull, nullptr, 0);
        return Status::kOk;
      case Kind::kSoup:
        return ReadSubSoup(level, depth);
      case Kind::kInt:
        ReadInt(level);
        return Status::kOk;
      case Kind::kFloat:
        ReadFloat(level);
        return Status::kOk;
      case Kind::kList:
        ReadNumberList(level);
        return Status::kOk;
      case Kind::kText:
        return ReadText(level);
    }
    return Status::kOk;
  }

  // The "{" is consumed. Reads the children up to the matching "}" or the
  // end of the text. A sub-soup deeper than kMaxDepth is read past and kept
  // empty.
  Status ReadSubSoup(ChunkRef& level, uint32_t depth) {
    // The name is interned once the children are read (they take over
    // nameChars_): a name that is not among the recent ones (the name of
    // each of a list's sub-soups, usually) then finds its place in the
    // string cache fetched ahead.
    const std::string name(StoredName());
    if (!IsRecentName(name)) Kiv::PStringCache::Prefetch(name);
    ChunkRef child = TDBContainerTag::CreateIn(arena_);
    const Status status = depth < TextSoup::kMaxDepth ? ParseLevel(child, depth + 1) : SkipLevels();
    if (status != Status::kOk) return status;
    std::memcpy(nameChars_.data(), name.data(), name.size());
    InternName(std::string_view(nameChars_.data(), name.size()));
    Put(level, *name_, std::move(child));
    SkipClosingBrace();
    return Status::kOk;
  }

  // Reads past the children of a sub-soup whose "{" is consumed, by the
  // rules of ParseLevel but keeping nothing and without recursion, up to
  // (not including) its "}" or the end of the text.
  Status SkipLevels() {
    for (uint64_t open = 0;;) {
      if (!ReadName()) {
        if (open == 0 || !SkipClosingBrace()) return Status::kOk;
        --open;
        continue;
      }
      const Kind kind = ClassifyValue();
      if (kind == Kind::kSoup) {
        ++open;
        continue;
      }
      if (kind == Kind::kText) {
        if (!ReadValueText()) return Status::kOutOfMemory;
        continue;
      }
      if (kind != Kind::kNone) SkipToLineEnd();
    }
  }

  // Skips blanks and line ends and consumes a "}". False when the text ends
  // first.
  bool SkipClosingBrace() {
    if (SkipBlanks(true) != '}') return false;
    ++p_;
    return true;
  }

  // Moves past a number value (blanks, then its token: the rest of the line)
  // and answers where the token starts.
  const char* SkipToLineEnd() {
    SkipBlanks(false);
    const char* start = p_;
    p_ = LineEnd();
    return start;
  }

  // --- Numbers. The classifier has checked that the value up to the line
  // end holds only number characters, so the token is that whole stretch. A
  // token (or a list piece) that holds no number ("-", ".") stores 0.
  // Moves past a number value that ClassifyWord read and answers where it
  // starts.
  const char* TakeNumber() {
    const char* start = p_;
    p_ = numberEnd_;
    return start;
  }
  void ReadInt(ChunkRef& level) {
    const char* q = TakeNumber();
    const bool negative = q < p_ && *q == '-';
    if (negative) ++q;
    // Accumulate with saturation: out-of-range texts clamp to 32 bits.
    int64_t value = 0;
    for (; q < p_ && IsDigit(*q); ++q) {
      value = value * 10 + (*q - '0');
      if (value > int64_t(1) << 32) value = int64_t(1) << 32;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) value = std::numeric_limits<int32_t>::min();
    const auto stored = int32_t(value);
    PutValue(level, SoupType::kInt, &stored, sizeof stored);
  }

  void ReadFloat(ChunkRef& level) {
    const char* start = TakeNumber();
    const float value = ScanFloat(start, p_);
    PutValue(level, SoupType::kFloat, &value, sizeof value);
  }

  // Every piece between spaces, tabs and commas is one float; the list has
  // no length limit.
  void ReadNumberList(ChunkRef& level) {
    const char* start = TakeNumber();
    floats_.clear();
    for (const char* q = start; q < p_;) {
      if (*q == ',' || IsBlank(*q)) {
        ++q;
        continue;
      }
      const char* piece = q;
      while (q < p_ && *q != ',' && !IsBlank(*q)) ++q;
      floats_.push_back(ScanFloat(piece, q));
    }
    PutValue(level, SoupType::kFloat, floats_.data(), uint32_t(floats_.size() * sizeof(float)));
  }

  // ScanFloat for the common short numbers: when the prefix holds at most
  // kShortDigits digits, their integer and the power of ten it is divided by
  // are both exact in a float, so one division rounds the value exactly as a
  // full scan does. False (value untouched) for a longer number.
  static bool ScanShortFloat(const char* from, const char* to, float& value) {
    static constexpr int kShortDigits = 7;
    static_assert(9999999 < (1 << 24), "kShortDigits digits are exact in a float");
    static constexpr float kTens[kShortDigits + 1] = {1e0f, 1e1f, 1e2f, 1e3f,
                                                      1e4f, 1e5f, 1e6f, 1e7f};
    const char* q = from;
    const bool negative = q < to && *q == '-';
    if (negative) ++q;
    uint32_t digits = 0;
    int count = 0;
    int fraction = 0;
    bool dot = false;
    for (; q < to; ++q) {
      if (IsDigit(*q)) {
        if (++count > kShortDigits) return false;
        digits = digits * 10 + uint32_t(*q - '0');
        fraction += dot ? 1 : 0;
      } else if (*q == '.' && !dot) {
        dot = true;
      } else {
        break;
      }
    }
    // No digit: no number, which reads as 0.
    if (count == 0) {
      value = 0.0f;
      return true;
    }
    const float magnitude = float(digits) / kTens[fraction];
    value = negative ? -magnitude : magnitude;
    return true;
  }

  // The longest prefix of [from, to) that is a decimal float, as "%f" scans
  // it; 0 when there is none.
  static float ScanFloat(const char* from, const char* to) {
    float value = 0;
    if (ScanShortFloat(from, to, value)) return value;
    const auto [next, error] = std::from_chars(from, to, value, std::chars_format::fixed);
    if (error != std::errc::result_out_of_range) return error == std::errc() ? value : 0.0f;
    // Beyond the float range: the C library's answer (infinity, or 0 and
    // denormals for tiny values).
    const std::string number(from, next);
    return std::strtof(number.c_str(), nullptr);
  }

  // --- Texts. ---------------------------------------------------------------
  Status ReadText(ChunkRef& level) {
    std::string_view text;
    if (!ReadValueView(text)) return Status::kOutOfMemory;
    if (text.empty()) {
      PutText(level, std::string_view());
      return Status::kOk;
    }
    const bool kuid = LooksLikeKUID(text);
    const bool ansi = !utf8_ && HasHighByte(text);
    if (!kuid && !ansi) {
      PutText(level, text);
      return Status::kOk;
    }
    // Both need the text in text_, with its NUL.
    if (text.data() != text_.Data() && !Hold(text)) return Status::kOutOfMemory;
    if (kuid) {
      const KUID parsed = ParseKUID(text_.Data(), false);
      // A KUID whose fields do not fit a KUID tag would read back as
      // another asset's: its text stays as written, a string.
      if (KUIDReadsBack(parsed)) {
        uint8_t raw[8];
        KUIDToRawBytes(parsed, raw);
        PutValue(level, SoupType::kKUID, raw, sizeof raw);
        return Status::kOk;
      }
    }
    if (ansi) return StoreAnsiText(level);
    PutText(level, text);
    return Status::kOk;
  }

  // The value's text as ReadValueText reads it. A value without escapes and
  // line ends is a view of the text being read (no copy); any other is read
  // into text_, which the view then shows (without its NUL). False when it
  // does not fit in memory.
  bool ReadValueView(std::string_view& out) {
    const int first = SkipBlanks(false);
    out = std::string_view();
    if (first == 0 || first == '}' || IsLineEnd(first)) return true;
    const char* q = p_;
    if (first == '"') {
      q = FindAny<'"', '\r', '\n'>(q + 1);
      if (q == end_ || *q == '"') {
        out = std::string_view(p_ + 1, size_t(q - p_ - 1));
        p_ = q == end_ ? q : q + 1;
        return true;
      }
    } else {
      q = FindAny<'\\', '}', '\r', '\n'>(q);
      if (q == end_ || *q != '\\') {
        out = std::string_view(p_, size_t(q - p_));
        p_ = q;
        return true;
      }
    }
    if (!ReadValueText()) return false;
    out = std::string_view(text_.Data(), text_.Length() - 1);
    return true;
  }

  // Copies `text` into text_ and adds a NUL. False when it does not fit.
  bool Hold(std::string_view text) {
    return text_.Resize(0) && Append(text.data(), text.size()) && text_.Push('\0');
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
  Status StoreAnsiText(ChunkRef& level) {
    int64_t needed = CodePageToUtf8(text_.Length(), text_.Data());
    if (needed > 0) {
      if (needed > std::numeric_limits<uint32_t>::max() || !text_.Resize(uint32_t(needed))) {
        return Status::kOutOfMemory;
      }
      needed = CodePageToUtf8(text_.Length(), text_.Data());
    }
    if (needed > 0) return Status::kOutOfMemory;
    PutText(level, std::string_view(text_.Data(), std::strlen(text_.Data())));
    return Status::kOk;
  }

  // Reads a value's text into text_ and adds a NUL after it. False when it
  // does not fit in memory.
  bool ReadValueText() {
    if (!text_.Resize(0)) return false;
    const int first = SkipBlanks(false);
    bool read = true;
    if (first == '"') {
      ++p_;
      read = ReadQuoted();
    } else if (first != 0 && first != '}' && !IsLineEnd(first)) {
      read = ReadUnquoted();
    }
    return read && text_.Push('\0');
  }

  // After the opening double quote: up to the closing one, which is
  // consumed, or the end of the text. Line ends are stored as CR LF; a CR LF
  // or LF CR pair is one.
  bool ReadQuoted() {
    for (;;) {
      const char* run = p_;
      p_ = FindAny<'"', '\r', '\n'>(p_);
      if (!Append(run, size_t(p_ - run))) return false;
      const int c = ReadChar();
      if (c == 0 || c == '"') return true;
      const int pair = c == '\r' ? '\n' : '\r';
      if (PeekChar() == pair) ++p_;
      if (!Append("\r\n", 2)) return false;
    }
  }

  // Up to a line end or "}" (not consumed) or the end of the text; a
  // backslash followed by "n" becomes CR LF.
  bool ReadUnquoted() {
    for (;;) {
      const char* run = p_;
      p_ = FindAny<'\\', '}', '\r', '\n'>(p_);
      if (!Append(run, size_t(p_ - run))) return false;
      if (p_ == end_ || *p_ != '\\') return true;
      ++p_;
      const bool newline = PeekChar() == 'n';
      if (newline) ++p_;
      if (!Append(newline ? "\r\n" : "\\", newline ? 2 : 1)) return false;
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
  // Where the number value that ClassifyWord read last ends.
  const char* numberEnd_ = nullptr;
  // Arena bytes a tree takes per byte of its text, about (tags, nodes and
  // containers of a typical soup, whose lines pad values to one column).
  static constexpr size_t kArenaPerTextByte = 5;
  // Held until the reader is gone; null (the heap) when none could be made.
  ChunkArena* const arena_;
  static constexpr int kRecentBits = 8;
  const Kiv::PString* name_ = nullptr;
  // A name met lately and its text (which lives as long as the name does).
  struct Recent {
    Kiv::PString name;
    std::string_view text;
    NameWords words;
  };
  std::array<Recent, size_t{1} << kRecentBits> recentNames_;
  std::array<char, TextSoup::kMaxNameLength> nameChars_{};
  uint32_t nameLength_ = 0;
  CharBuffer text_;
  std::vector<float> floats_;
};

// The 1-based line of the byte at `offset`: CR LF, LF and a lone CR each
// end a line.
uint32_t LineOf(const TextBytes& text, size_t offset) {
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

// Cuts the text at its first NUL byte, which ends it. Answers how much of
// the input a parse that reaches the end has read: all of it when only NUL
// bytes follow the cut (padding), else the bytes before the cut.
size_t CutAtNulByte(TextBytes& text) {
  const size_t size = text.size();
  const void* found = size != 0 ? std::memchr(text.data(), 0, size) : nullptr;
  if (found == nullptr) return size;
  const auto nul = text.begin() + (static_cast<const char*>(found) - text.data());
  const bool padding = std::all_of(nul, text.end(), [](char c) { return c == '\0'; });
  text.erase(nul, text.end());
  return padding ? size : text.size();
}

}  // namespace

TextSoup::Result TextSoup::Parse(Soup& soup, TStream& stream, bool utf8) {
  soup.Release();
  if (!stream.IsOpen()) return Refuse(Status::kStreamClosed, 0);
  const uint32_t start = stream.Tell();
  TextBytes text;
  const Status readStatus = ReadAllBytes(stream, text);
  if (readStatus != Status::kOk) return Refuse(readStatus, 0);
  const size_t readToEnd = CutAtNulByte(text);

  size_t skip = 0;
  if (start == 0 && std::string_view(text.data(), text.size()).starts_with("\xEF\xBB\xBF")) {
    utf8 = true;
    skip = 3;
  }
  TextSoupReader reader(text.data() + skip, text.data() + text.size(), utf8);
  Status status = Status::kOk;
  ChunkRef top;
  try {
    status = reader.ParseTop(top);
  } catch (const std::bad_alloc&) {
    status = Status::kOutOfMemory;
  }
  const size_t consumed = skip + reader.Consumed();
  if (status != Status::kOk) {
    top.Reset();
    return Refuse(status, LineOf(text, consumed));
  }
  soup = Soup(std::move(top));
  // Leave the stream after the soup: on a "}" that matches nothing, at the
  // NUL byte that ended the text, or at the end.
  stream.SeekTo(uint32_t(start + (consumed == text.size() ? readToEnd : consumed)));
  return {};
}
