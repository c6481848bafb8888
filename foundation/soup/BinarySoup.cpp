#include "foundation/soup/BinarySoup.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/base/LogMessage.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TDBBinaryFile.h"
#include "foundation/soup/TDBBinarySoup.h"
#include "foundation/soup/TDBDataChunk.h"
#include "foundation/stream/TStream.h"
#include "foundation/text/TextRecoding.h"

static_assert(std::endian::native == std::endian::little,
              "binary soups are read in place as little-endian values");

const char* BinarySoupErrorText(BinarySoupError error) {
  switch (error) {
    case BinarySoupError::kNone:
      return "no error";
    case BinarySoupError::kShortHeader:
      return "the header is cut short";
    case BinarySoupError::kBadMagic:
      return "the file does not start with \"ACS$\"";
    case BinarySoupError::kBadVersion:
      return "unknown version";
    case BinarySoupError::kBadBlockSize:
      return "bad block size";
    case BinarySoupError::kNoMemory:
      return "no memory for the block";
    case BinarySoupError::kShortBlock:
      return "the block is cut short";
    case BinarySoupError::kDamagedBlock:
      return "damaged record block";
    case BinarySoupError::kInUse:
      return "the loaded soup is still in use";
  }
  return "unknown error";
}

namespace BinarySoup {

namespace {

uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

Parse Damaged(const char** problem, const char* what) {
  if (problem != nullptr) *problem = what;
  return Parse::kDamaged;
}

// True when one of the n bytes at p is 0; eight at a time.
inline bool HoldsNul(const uint8_t* p, uint32_t n) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if (((word - kOnes) & ~word & kHighs) != 0) return true;
  }
  for (; n > 0; ++p, --n)
    if (*p == 0) return true;
  return false;
}

// HoldsNul for the n bytes of a name at offset `name` of the block. A name
// of at most 8 bytes is tested with one load of the 8 bytes that end where
// it ends, the bytes before it counted as non-zero.
inline bool NameHoldsNul(const uint8_t* block, uint32_t name, uint32_t n) {
  if (n == 0 || n > 8 || name + n < 8) return HoldsNul(block + name, n);
  uint64_t word;
  std::memcpy(&word, block + name + n - 8, sizeof word);
  if (n < 8) word |= (uint64_t{1} << (8 * (8 - n))) - 1;
  return ((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0;
}

// The place of the first NUL among the 16 bytes at `p` (16 when none).
inline uint32_t FirstNulOf16(const uint8_t* p) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  uint64_t low;
  uint64_t high;
  std::memcpy(&low, p, sizeof low);
  std::memcpy(&high, p + 8, sizeof high);
  // Exact for the lowest NUL byte of each word.
  const uint64_t zerosLow = (low - kOnes) & ~low & kHighs;
  const uint64_t zerosHigh = (high - kOnes) & ~high & kHighs;
  if (zerosLow != 0) return uint32_t(std::countr_zero(zerosLow)) >> 3;
  return zerosHigh != 0 ? 8 + (uint32_t(std::countr_zero(zerosHigh)) >> 3) : 16;
}

// The body of ParseRecord for the record at `rec` (`at` in the block), in
// a list that ends at `listEnd`, which is at least kMinRecord bytes away.
// `size` is the record's size word, read by the caller.
inline Parse ParseAt(const uint8_t* rec, uint32_t at, const uint8_t* listEnd, uint32_t size,
                     Record& out, const char** problem) {
  const auto room = static_cast<uint32_t>(listEnd - rec);
  if (size > room - 4) return Damaged(problem, "the record's size runs past the end of its list");
  const uint32_t nameBytes = rec[4];
  if (size < nameBytes + 2)
    return Damaged(problem, "the record's size leaves no room for its name and type");
  out.start = at;
  out.name = at + 5;
  out.nameLength = 0;
  if (nameBytes != 0) {
    // A short name far enough from the list's end is checked in one step:
    // its first NUL is its last byte. Any other name, and a short one that
    // fails, takes the checks that tell what is wrong.
    const bool quick = nameBytes <= 16 && room - 5 >= 16;
    if (!quick || FirstNulOf16(rec + 5) != nameBytes - 1) {
      if (rec[4 + nameBytes] != '\0')
        return Damaged(problem, "the record's name does not end with a NUL");
      if (NameHoldsNul(rec - at, out.name, nameBytes - 1))
        return Damaged(problem, "the record's name holds a NUL");
    }
    out.nameLength = nameBytes - 1;
  }
  out.fileType = rec[5 + nameBytes];
  out.payload = at + 6 + nameBytes;
  out.payloadLength = size - nameBytes - 2;
  out.next = at + 4 + size;
  if (out.fileType == kFileAlignedRaw) {
    // The block lies at a 16-byte aligned address, so offsets align alike.
    const uint32_t padding = (16 - (out.payload & 15)) & 15;
    if (padding > out.payloadLength)
      return Damaged(problem, "the record's aligned payload is shorter than its padding");
    out.payload += padding;
    out.payloadLength -= padding;
  }
  return Parse::kRecord;
}

// Bytes a record must have before the block's end to be judged by
// IsPlainRecord: the size word, the name length byte, the 16 bytes read
// for the name and the type byte after them. (What lies past the name's NUL
// is never looked at, so these bytes may reach past the list.)
constexpr ptrdiff_t kPlainRoom = 4 + 1 + 16 + 1;

// The zero bytes among the 16 bytes at `p`, one bit each.
inline uint32_t NulBitsOf16(const uint8_t* p) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
#else
  uint32_t bits = 0;
  for (uint32_t i = 0; i < 16; ++i) bits |= uint32_t{p[i] == 0} << i;
  return bits;
#endif
}

// For a name length byte n (NUL included) of 1 to 16: the bits of
// NulBitsOf16 that belong to the name (`mask`, the low n bits) and the one
// of them that must be set, its last byte (`nul`). For any other n, a mask
// and bit that no NulBitsOf16 matches.
struct NameNulBits {
  std::array<uint32_t, 256> mask{};
  std::array<uint32_t, 256> nul{};
};
constexpr NameNulBits kNameNulBits = [] {
  NameNulBits bits;
  for (uint32_t n = 0; n < 256; ++n) {
    const bool fits = n >= 1 && n <= 16;
    bits.mask[n] = fits ? (uint32_t{1} << n) - 1 : 0;
    bits.nul[n] = fits ? uint32_t{1} << (n - 1) : 1;
  }
  return bits;
}();

// The type codes that the quick test leaves to the full checks: a nested
// list and an aligned payload.
constexpr auto kNotPlainType = [] {
  std::array<uint8_t, 256> types{};
  types[kFileContainer] = 1;
  types[kFileAlignedRaw] = 1;
  return types;
}();

// The name and size checks of the quick tests below: a name of 1 to 16
// bytes (its NUL included) whose first NUL is its last byte, and a size
// that holds the name and the type byte. The caller makes sure that
// kPlainRoom bytes lie between `rec` and the block's end. Sets `next` to the
// record's end (rec + 4 + size) and `type` to the address of the type byte
// after the name, whatever the answer.
inline bool HasPlainName(const uint8_t* rec, const uint8_t*& next, const uint8_t*& type) {
  const uint32_t size = LoadU32(rec);
  const uint32_t nameBytes = rec[4];
  next = rec + 4 + size;
  type = rec + 5 + nameBytes;
  if ((NulBitsOf16(rec + 5) & kNameNulBits.mask[nameBytes]) != kNameNulBits.nul[nameBytes])
    return false;
  // The size holds the name and the type byte: the record ends after it.
  return next > type;
}

// The quick test of the common record that needs no more checks than
// HasPlainName's, a type that is neither a nested list nor an aligned
// payload, and an end at or before `limit`, which lies inside the list. The
// caller makes sure that kPlainRoom bytes lie between `rec` and the block's
// end. Sets `next` as HasPlainName does and answers true for such a record,
// false for any other: this test refuses every record that ParseAt refuses,
// and some that it accepts. (Written for few instructions: the walk is
// bound by them.) A record cannot begin fewer than kMinRecord bytes before
// the list's end and pass, as its end would lie past the list's.
inline bool IsPlainRecord(const uint8_t* rec, uintptr_t limit, const uint8_t*& next) {
  const uint8_t* type;
  if (!HasPlainName(rec, next, type)) return false;
  if (kNotPlainType[*type] != 0) return false;
  return reinterpret_cast<uintptr_t>(next) <= limit;
}

// The same test for a nested list's record (its payload the list) that
// ends at or before `listEnd`.
inline bool IsPlainListRecord(const uint8_t* rec, const uint8_t* listEnd, const uint8_t*& next) {
  const uint8_t* type;
  return HasPlainName(rec, next, type) && *type == kFileContainer && next <= listEnd;
}

// One walk over the records of a block. Nested lists lie inside their
// container's payload, so the records of all lists are met in the order of
// the block: a nested list is walked in place of its container's payload,
// and the walk resumes after it where the container ends. The walk keeps
// the record's address, not its offset, from one record to the next: the
// next address is one load and one add away.
struct RecordWalk {
  enum class Step { kMoved, kDone, kDamaged };

  // A walk of the block that ends at `end` from `at` (a record of its root
  // list), to be stopped at the block offset `stop`.
  RecordWalk(const uint8_t* b, const uint8_t* at, const uint8_t* end, uint32_t stop)
      : block(b),
        rec(at),
        listEnd(end),
        stopAt(reinterpret_cast<uintptr_t>(b) + stop),
        readLimit(end - b >= kPlainRoom ? reinterpret_cast<uintptr_t>(end - kPlainRoom) : 0) {
    SetLimit();
  }

  // The last address a record may end at and still be followed by the
  // quick test: kPlainRoom bytes before the block's end, the list's end
  // (where the quick test of the next record fails), and (when another walk
  // takes over there) before `stopAt`.
  void SetLimit() {
    limit = reinterpret_cast<uintptr_t>(listEnd);
    if (limit > readLimit) limit = readLimit;
    if (limit >= stopAt) limit = stopAt - 1;
  }
  bool QuickAhead() const { return reinterpret_cast<uintptr_t>(rec) <= limit; }
  // Steps over a record that the quick test takes; false for any other.
  bool TryQuick() {
    if (!QuickAhead()) return false;
    const uint8_t* next;
    if (!IsPlainRecord(rec, limit, next)) return false;
    rec = next;
    return true;
  }

  // Takes the next step whatever the record: the end of a list, a record
  // checked by ParseAt, or a nested list walked into (after the quick name
  // checks alone when its record passes them).
  Step Slow() {
    if (listEnd - rec < kMinRecord) {
      if (depth == 0) {
        rec = listEnd;
        return Step::kDone;
      }
      // The container whose list this was ends where the list does.
      rec = listEnd;
      listEnd = ends[--depth];
      SetLimit();
      return Step::kMoved;
    }
    if (depth < kMaxDepth && QuickAhead()) {
      const uint8_t* next;
      if (IsPlainListRecord(rec, listEnd, next)) return Enter(rec + 6 + rec[4], next);
    }
    const uint32_t recordSize = LoadU32(rec);
    Record r;
    if (ParseAt(rec, static_cast<uint32_t>(rec - block), listEnd, recordSize, r, &what) ==
        Parse::kDamaged)
      return Step::kDamaged;
    if (r.fileType != kFileContainer) {
      rec += 4 + size_t(recordSize);
      return Step::kMoved;
    }
    if (depth >= kMaxDepth) {
      what = "nested lists go deeper than the limit";
      return Step::kDamaged;
    }
    return Enter(block + r.payload, block + r.payload + r.payloadLength);
  }

  // Walks into the nested list from `list` to `end`.
  Step Enter(const uint8_t* list, const uint8_t* end) {
    ends[depth++] = listEnd;
    rec = list;
    listEnd = end;
    SetLimit();
    return Step::kMoved;
  }

  const uint8_t* block;
  const uint8_t* rec;
  const uint8_t* listEnd;
  uintptr_t stopAt;
  const uintptr_t readLimit;
  uintptr_t limit = 0;
  uint32_t depth = 0;
  const char* what = nullptr;
  const uint8_t* ends[kMaxDepth];
};

// Runs a walk to the end of the block, or to its first damaged record.
RecordWalk::Step FinishWalk(RecordWalk& w) {
  for (;;) {
    if (w.QuickAhead()) {
      const uint8_t* rec = w.rec;
      const uintptr_t limit = w.limit;
      for (;;) {
        const uint8_t* next;
        if (!IsPlainRecord(rec, limit, next)) break;
        rec = next;
      }
      w.rec = rec;
    }
    const RecordWalk::Step step = w.Slow();
    if (step != RecordWalk::Step::kMoved) return step;
  }
}

// Blocks from this size on are walked in two halves at once (see
// SecondHalfStart); the walk of one record waits on the load of its size
// word, so two walks take little more time than one.
constexpr uint32_t kSplitSize = 8192;
// Records in a row that a guessed start of the second half must pass.
constexpr int kGuessRecords = 8;
// Bytes searched for that start.
constexpr uint32_t kGuessSearch = 512;

// A guess at a record of the root list near the middle of the block: the
// first place from the middle on (within kGuessSearch bytes) from which
// kGuessRecords plain records follow one another. Answers 0 when there is
// none. The guess is only a guess: the
// second half's walk is used only when the first half's walk arrives at
// exactly that place in the root list.
uint32_t SecondHalfStart(const uint8_t* block, uint32_t size) {
  const uint32_t from = size / 2;
  const uint32_t end = size - uint32_t(kPlainRoom);
  const auto last = reinterpret_cast<uintptr_t>(block + end);
  for (uint32_t at = from; at < from + kGuessSearch && at <= end; ++at) {
    const uint8_t* rec = block + at;
    int found = 0;
    while (found < kGuessRecords) {
      const uint8_t* next;
      if (!IsPlainRecord(rec, last, next)) break;
      rec = next;
      ++found;
    }
    if (found == kGuessRecords) return at;
  }
  return 0;
}

bool Refuse(const RecordWalk& w, const char** problem, uint32_t* offset) {
  if (problem != nullptr) *problem = w.what;
  if (offset != nullptr) *offset = static_cast<uint32_t>(w.rec - w.block);
  return false;
}

// The walk of a whole block. A large block is walked from its start and
// from a guessed record in its middle at once, each step of one walk beside
// a step of the other. When the first walk arrives at the second's start in
// the root list, the second walk (which checks records exactly as the first
// would) speaks for the rest of the block; when it does not arrive there,
// the second walk is dropped and the first one goes on alone.
bool WalkRecords(const uint8_t* block, uint32_t size, const char** problem, uint32_t* offset) {
  using Step = RecordWalk::Step;
  const uint32_t split = size >= kSplitSize ? SecondHalfStart(block, size) : 0;
  RecordWalk first(block, block, block + size, split != 0 ? split : size);
  if (split == 0) {
    return FinishWalk(first) == Step::kDone || Refuse(first, problem, offset);
  }
  RecordWalk second(block, block + split, block + size, size);
  Step secondState = Step::kMoved;
  for (;;) {
    if (secondState == Step::kMoved && first.QuickAhead() && second.QuickAhead()) {
      // (Kept in locals, not in the walks that Slow takes by address, so
      // that the two records' addresses stay in registers.)
      const uint8_t* a = first.rec;
      const uint8_t* b = second.rec;
      const uintptr_t aLimit = first.limit;
      const uintptr_t bLimit = second.limit;
      for (;;) {
        const uint8_t* aNext;
        const uint8_t* bNext;
        if (!IsPlainRecord(a, aLimit, aNext) || !IsPlainRecord(b, bLimit, bNext)) break;
        a = aNext;
        b = bNext;
      }
      first.rec = a;
      second.rec = b;
    }
    if (secondState == Step::kMoved) {
      if (!second.TryQuick()) secondState = second.Slow();
    } else {
      while (first.TryQuick()) {
      }
    }
    if (first.TryQuick()) continue;
    const Step step = first.Slow();
    if (step == Step::kDamaged) return Refuse(first, problem, offset);
    if (step == Step::kDone) return true;
    if (reinterpret_cast<uintptr_t>(first.rec) < first.stopAt) continue;
    if (first.rec == block + split && first.depth == 0) break;
    // The guess was not a record of the root list.
    first.stopAt = reinterpret_cast<uintptr_t>(block) + size;
    first.SetLimit();
    return FinishWalk(first) == Step::kDone || Refuse(first, problem, offset);
  }
  // The first walk has come to the second one's start: what follows is the
  // second walk's to judge.
  if (secondState == Step::kMoved) secondState = FinishWalk(second);
  return secondState == Step::kDone || Refuse(second, problem, offset);
}

// The text of a version-0 file, taken up to its first NUL, converted from
// the ANSI code page to UTF-8 when it holds bytes of 0x80 and above.
CoreRef LegacyText(const uint8_t* bytes, uint32_t length) {
  const void* nul = std::memchr(bytes, 0, length);
  const std::string text(reinterpret_cast<const char*>(bytes),
                         nul != nullptr ? static_cast<const uint8_t*>(nul) - bytes : length);
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  bool high = false;
  for (char c : text) high = high || static_cast<uint8_t>(c) >= 0x80;
  if (high) {
    const int64_t need = CodePageToUtf8(buffer.size(), buffer.data());
    if (need > 0) {
      buffer.assign(text.begin(), text.end());
      buffer.resize(static_cast<size_t>(need), '\0');
      CodePageToUtf8(buffer.size(), buffer.data());
    }
  }
  return ACSRawDataCore::CreateCopy(buffer.data(),
                                    static_cast<uint32_t>(std::strlen(buffer.data()) + 1));
}

uint32_t InMemoryType(uint8_t fileType) {
  switch (fileType) {
    case kFileInts:
      return SoupType::kInt;
    case kFileFloats:
      return SoupType::kFloat;
    case kFileText:
      return SoupType::kString;
    case kFileRaw:
    case kFileAlignedRaw:
      return SoupType::kRaw;
    case kFileKUID:
      return SoupType::kKUID;
    default:
      return SoupType::kNull;
  }
}

uint8_t FileType(uint32_t type) {
  switch (type) {
    case SoupType::kContainer:
      return kFileContainer;
    case SoupType::kInt:
      return kFileInts;
    case SoupType::kFloat:
      return kFileFloats;
    case SoupType::kString:
    case SoupType::kText2:
      return kFileText;
    case SoupType::kRaw:
      return kFileRaw;
    case SoupType::kKUID:
      return kFileKUID;
    default:
      return kFileNull;
  }
}

std::string ShortName(const Kiv::PString& name) {
  std::string text(name.View().substr(0, 40));
  if (name.Length() > 40) text += "...";
  return text;
}

// Why the writer leaves out a record named `name` of in-memory `type` at
// nesting `depth`; empty when it can be written.
std::string RecordProblem(const Kiv::PString& name, uint32_t type, uint32_t depth) {
  if (name.Length() > kMaxNameLength)
    return "its name has " + std::to_string(name.Length()) + " characters, at most " +
           std::to_string(kMaxNameLength) + " fit";
  if (std::strlen(name.c_str()) != name.Length()) return "its name holds a NUL";
  if (type == SoupType::kContainer && depth >= kMaxDepth)
    return "soups nest more than " + std::to_string(kMaxDepth) + " deep";
  return std::string();
}

uint32_t TypeOf(const ACSChunk* chunk) {
  return chunk != nullptr ? chunk->GetType() : SoupType::kNull;
}

// Writes the children of `parent` as a record list at nesting `depth`.
bool WriteChildren(const ACSChunk* parent, TStream& stream, uint32_t depth);

bool WriteRecordAt(const ACSChunk* child, const Kiv::PString& name, TStream& stream,
                   uint32_t depth) {
  const uint32_t type = TypeOf(child);
  const std::string problem = RecordProblem(name, type, depth);
  if (!problem.empty()) {
    LogMessage("BinarySoup::Write> tag \"%s\" left out: %s", ShortName(name).c_str(),
               problem.c_str());
    return false;
  }
  const uint32_t at = stream.Tell();
  TStreamWriteU32(stream, 0xFFFFFFFFu);
  const uint8_t nameBytes = name.Empty() ? 0 : static_cast<uint8_t>(name.Length() + 1);
  TStreamWriteU8(stream, nameBytes);
  if (nameBytes != 0) TStreamWriteBytes(stream, name.Text(), nameBytes);
  TStreamWriteU8(stream, FileType(type));
  bool whole = true;
  if (type == SoupType::kContainer) {
    whole = WriteChildren(child, stream, depth + 1);
  } else if (FileType(type) != kFileNull && child->GetDataSize() != 0) {
    TStreamWriteBytes(stream, child->GetData(), child->GetDataSize());
  }
  stream.PatchLength(at);
  return whole;
}

bool WriteChildren(const ACSChunk* parent, TStream& stream, uint32_t depth) {
  if (parent == nullptr) return true;
  bool whole = true;
  const uint32_t count = parent->CountChildren();
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name;
    ChunkRef child;
    if (!parent->GetChildAt(i, name, child)) continue;
    whole = WriteRecordAt(child.get(), name, stream, depth) && whole;
  }
  return whole;
}

// FindUnstorableTag below `parent`, whose path from the root is `path`.
std::string FindUnstorableIn(const ACSChunk* parent, const std::string& path, uint32_t depth) {
  if (parent == nullptr) return std::string();
  const uint32_t count = parent->CountChildren();
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name;
    ChunkRef child;
    if (!parent->GetChildAt(i, name, child)) continue;
    const std::string childPath = path + ShortName(name);
    const uint32_t type = TypeOf(child.get());
    const std::string problem = RecordProblem(name, type, depth);
    if (!problem.empty()) return "the tag \"" + childPath + "\" cannot be stored: " + problem;
    if (type != SoupType::kContainer) continue;
    std::string inner = FindUnstorableIn(child.get(), childPath + "/", depth + 1);
    if (!inner.empty()) return inner;
  }
  return std::string();
}

}  // namespace

Parse ParseRecord(const uint8_t* block, uint32_t at, uint32_t end, Record& out,
                  const char** problem) {
  if (at > end || end - at < kMinRecord) return Parse::kEnd;
  return ParseAt(block + at, at, block + end, LoadU32(block + at), out, problem);
}

bool ValidateRecords(const uint8_t* block, uint32_t size, const char** problem, uint32_t* offset) {
  return WalkRecords(block, size, problem, offset);
}

ChunkRef ConvertRecord(uint32_t record, const TDBBinarySoup& parent) {
  return ConvertRecordIn(*parent.File(), record, parent.ListStart());
}

ChunkRef ConvertRecordIn(const TDBBinaryFile& file, uint32_t record, uint32_t list) {
  const uint8_t* block = file.GetBlock();
  const uint32_t blockSize = static_cast<uint32_t>(file.GetBlockSize());
  if (block == nullptr || record > blockSize || blockSize - record < kMinRecord) return NullTag();
  // The block was validated: the record's own size bounds it.
  const uint32_t size = LoadU32(block + record);
  if (size > blockSize - record - 4) return NullTag();
  Record r;
  if (ParseRecord(block, record, record + 4 + size, r) != Parse::kRecord) return NullTag();

  auto owner = MPRef<TDBBinaryFile>::Share(const_cast<TDBBinaryFile*>(&file));
  if (r.fileType == kFileContainer)
    return TDBBinarySoup::Create(std::move(owner), r.payload, r.payloadLength, r.start, list);
  const uint32_t type = InMemoryType(r.fileType);
  if (type == SoupType::kNull)
    return TDBDataChunk::WithCore(std::move(owner), type, CoreRef(), r.payload, r.start, list);
  if (r.fileType == kFileText && file.GetVersion() == 0 && r.payloadLength != 0) {
    CoreRef text = LegacyText(block + r.payload, r.payloadLength);
    return TDBDataChunk::WithCore(std::move(owner), type, std::move(text), r.payload, r.start,
                                  list);
  }
  return TDBDataChunk::FromPayload(std::move(owner), type, r.payload, r.payloadLength, r.start,
                                   list);
}

bool Write(TStream& stream, const Soup& soup) {
  return Write(stream, soup.GetChunk());
}

bool Write(TStream& stream, const ACSChunk* root) {
  TStreamWriteBytes(stream, "ACS$", 4);
  TStreamWriteU32(stream, kVersion);
  TStreamWriteU32(stream, 0);
  const uint32_t at = stream.Tell();
  TStreamWriteU32(stream, 0xFFFFFFFFu);
  const bool whole = WriteChildren(root, stream, 0);
  stream.PatchLength(at);
  return whole && stream.GetError() == TStream::kErrorNone;
}

bool WriteRecord(const ACSChunk* child, const Kiv::PString& name, TStream& stream) {
  const bool whole = WriteRecordAt(child, name, stream, 0);
  return whole && stream.GetError() == TStream::kErrorNone;
}

std::string FindUnstorableTag(const Soup& soup) {
  return FindUnstorableIn(soup.GetChunk(), std::string(), 0);
}

bool Read(TStream& stream, Soup& soup, BinarySoupError* error, std::string* fault) {
  soup.Release();
  MPRef<TDBBinaryFile> file = TDBBinaryFile::Create();
  const bool loaded = file->Read(stream);
  if (error != nullptr) *error = file->GetError();
  if (!loaded) {
    if (fault != nullptr)
      *fault = "byte " + std::to_string(file->GetFaultOffset()) + ": " +
               BinarySoupErrorText(file->GetError()) + " (" + file->GetFaultDetail() + ")";
    return false;
  }
  soup = Soup(file->GetRoot());
  return true;
}

}  // namespace BinarySoup
