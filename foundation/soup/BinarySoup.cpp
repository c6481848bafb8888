#include "foundation/soup/BinarySoup.h"

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

// Bytes a record must have before its list's end for IsPlainRecord: the
// size word, the name length byte, the 16 bytes read for the name and the
// type byte after them.
constexpr ptrdiff_t kPlainRoom = 4 + 1 + 16 + 1;

// The place of the first NUL among the 16 bytes at `p` (16 when none).
inline uint32_t FirstNulOf16Fast(const uint8_t* p) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const auto nuls = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
  return uint32_t(std::countr_zero(nuls | 0x10000u));
#else
  return FirstNulOf16(p);
#endif
}

// True for the common record that needs no more checks than these: at
// least kPlainRoom bytes from the list's end, a name of 1 to 16 bytes (its
// NUL included) whose first NUL is its last byte, a size that holds the name
// and the type byte and fits the list, and a type that is neither a nested
// list nor an aligned payload. Any other record (damaged ones included) is
// left to ParseAt, which tells what is wrong: this test answers false for
// every record that ParseAt refuses.
inline bool IsPlainRecord(const uint8_t* rec, const uint8_t* listEnd, uint32_t size) {
  const ptrdiff_t room = listEnd - rec;
  if (room < kPlainRoom) return false;
  const uint32_t nameBytes = rec[4];
  const uint32_t nul = FirstNulOf16Fast(rec + 5);
  // (16, for no NUL in the 16 bytes, never passes: the name's NUL is unseen.)
  if (nul >= 16 || nul + 1 != nameBytes) return false;
  if (size < nameBytes + 2 || size > uint64_t(room) - 4) return false;
  const uint8_t type = rec[5 + nameBytes];
  return type != kFileContainer && type != kFileAlignedRaw;
}

// The walk keeps the record's address, not its offset, from one record to
// the next: the next address is one load and one add away.
bool ValidateList(const uint8_t* block, uint32_t at, uint32_t end, uint32_t depth,
                  const char** problem, uint32_t* offset) {
  const uint8_t* rec = block + at;
  const uint8_t* const listEnd = block + end;
  Record r;
  const char* what = nullptr;
  for (;;) {
    if (listEnd - rec < kMinRecord) return true;
    const uint32_t size = LoadU32(rec);
    if (IsPlainRecord(rec, listEnd, size)) {
      rec += 4 + size_t(size);
      continue;
    }
    const auto here = static_cast<uint32_t>(rec - block);
    if (ParseAt(rec, here, listEnd, size, r, &what) == Parse::kDamaged) break;
    if (r.fileType == kFileContainer) {
      if (depth >= kMaxDepth) {
        what = "nested lists go deeper than the limit";
        break;
      }
      if (!ValidateList(block, r.payload, r.payload + r.payloadLength, depth + 1, problem, offset))
        return false;
    }
    rec += 4 + size_t(size);
  }
  if (problem != nullptr) *problem = what;
  if (offset != nullptr) *offset = static_cast<uint32_t>(rec - block);
  return false;
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
  return ValidateList(block, 0, size, 0, problem, offset);
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
