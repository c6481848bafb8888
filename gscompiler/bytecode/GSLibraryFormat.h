// The .gsl library format: constants, layout and the fixed-size records
// shared by the library writer (gscompiler/GSLibraryWriter.h), the runtime's
// readers and ReadGsl (GslLibraryReader.h).
//
// Everything is little-endian; integers are u32 unless noted.
//
// Header: u32 total file length (this word included), u32 magic
// kGslMagic, f32 version 1.02 (kGslVersionBits; readers do not test it),
// u32 text CRC, u32 name CRC (together the LibraryId), u32 n = name length
// + 1, then the lower-cased library name, NUL-terminated, not padded. The
// first chunk follows directly (chunks need not be 4-aligned).
//
// Chunk: u32 length (from this word to the chunk's end), u32 tag, payload;
// a reader continues at chunk start + length. Top level: exactly chunks 2,
// 3, 4, 5, 6 in this order. Inside chunk 6, K class records (tag 7), each
// holding chunks 8 (with tag-9 function records, the class initialiser
// last), 10, 11, 12 in this order.
//
// - 2 dependencies: u32 D; D x (text CRC, name CRC); entry 0 is the unit.
// - 3 strings: u32 S; S x u32 offset (counted from the first byte behind
//   the offset table); the NUL-terminated strings; zero bytes up to a
//   multiple of 4 from the start of the file.
// - 4 class references: u32 C; C x (dependency index, name string index).
// - 5 function references: u32 F; F x (class-reference index, signature
//   string index, i32 virtual slot or -1).
// - 6 classes: u32 K; K class records.
// - 7 class record: name string index; class flags (specifiers & 0x14C);
//   u32 B; B x (class-reference index, p, r); chunk 8; chunk 10; chunk 11;
//   chunk 12.
// - 8 functions: u32 count (functions + 1); the tag-9 records.
// - 9 function record: signature index; return type; return class
//   reference or 0xFFFFFFFF; flags (specifiers & 0x3B); i32 virtual slot;
//   advance = L + T + 4; slot0Offset = 1 - P; recordOffset = L + T + 1;
//   slotsNeeded = D + L + T + 4; P; L; T; N; N x reference slot; code
//   length; code; 0xFF up to a multiple of 4 from the start of the file;
//   then (functions, not the class initialiser) kGslLineMarker, u32 line
//   count, count x (u32 code offset, u32 line). A reader aligns to 4 after
//   the code: a word other than the marker means no line table.
// - 10 members: u32 M; M x 20 bytes (name index, type code, class
//   reference or 0xFFFFFFFF, flags (bit 0 public), i32 slot).
// - 11 virtual table: length 12 + 8V; u32 V; V x (function reference, p).
// - 12 layout: object slot count; u32 E = 2B + 1; E x 12 bytes (for each
//   base (0, p, -p) and (1, p + 1, q), then (1, 1, 0)); u32 N; N x u32
//   reference member slot.
//
// Frame slots: 0 the object, 1..P-1 the parameters, P..P+L-1 the locals,
// then the T temporaries, then the four-slot frame record and the operand
// stack.
#pragma once

#include <cstdint>

namespace GSLibraryFormat {

inline constexpr uint32_t kGslMagic = 0xF762575D;
inline constexpr uint32_t kGslVersionBits = 0x3F828F5C;  // 1.02f
inline constexpr uint32_t kGslLineMarker = 0x6462676C;
inline constexpr uint32_t kGslHeaderFixedBytes = 24;  // through the name length word
inline constexpr uint32_t kGslChunkHeaderBytes = 8;
inline constexpr uint32_t kGslNoClass = 0xFFFFFFFF;
inline constexpr uint32_t kGslStringBuckets = 61;

enum GslTag : uint32_t {
  TagDependencies = 2,
  TagStrings = 3,
  TagClassRefs = 4,
  TagFunctionRefs = 5,
  TagClasses = 6,
  TagClass = 7,
  TagFunctions = 8,
  TagFunction = 9,
  TagMembers = 10,
  TagVirtualTable = 11,
  TagLayout = 12,
};

inline constexpr uint32_t kGslClassFlagMask = 0x14C;
inline constexpr uint32_t kGslFunctionFlagMask = 0x3B;
inline constexpr uint32_t kGslConstructorFlag = 32;
inline constexpr uint32_t kGslMemberEntryBytes = 20;
inline constexpr uint32_t kGslFrameRecordSlots = 4;

// The four frame words of a function record.
struct GslFrameWords {
  uint32_t advance;
  uint32_t slot0Offset;
  uint32_t recordOffset;
  uint32_t slotsNeeded;
};

// P = parameters + 1, L locals, T temporaries, D maximum operand depth.
inline GslFrameWords GslFrameWordsFor(uint32_t p, uint32_t l, uint32_t t, uint32_t d) {
  return GslFrameWords{l + t + kGslFrameRecordSlots, 1u - p, l + t + 1,
                       d + l + t + kGslFrameRecordSlots};
}

// Each record below is laid out as its entry in the file: u32 and i32
// words in file order, no padding (the sizes are checked at the end).

// The header's fixed part; the name follows it.
struct GslHeader {
  uint32_t totalLength;
  uint32_t magic;
  uint32_t version;
  uint32_t textCrc;
  uint32_t nameCrc;
  uint32_t nameLength;  // with the NUL
};

// A library's identity; also each entry of chunk 2.
struct GslLibraryId {
  uint32_t textCrc;
  uint32_t nameCrc;
  bool operator==(const GslLibraryId&) const = default;
};

// Chunk 4.
struct GslClassRef {
  uint32_t dependency;
  uint32_t name;  // string index
};

// Chunk 5.
struct GslFunctionRef {
  uint32_t classRef;
  uint32_t signature;  // string index
  int32_t slot;        // virtual slot or -1
};

// A class record's base list.
struct GslBaseEntry {
  uint32_t classRef;
  uint32_t p;
  uint32_t r;
};

// Chunk 10.
struct GslMemberEntry {
  uint32_t name;  // string index
  uint32_t type;
  uint32_t classRef;  // or kGslNoClass
  uint32_t flags;     // bit 0 public
  int32_t slot;
};

// Chunk 11.
struct GslVirtualEntry {
  uint32_t function;  // function-reference index
  uint32_t p;
};

// Chunk 12: (0, p, -p) and (1, p + 1, q) per base, then (1, 1, 0).
struct GslLayoutEntry {
  uint32_t kind;
  uint32_t slot;
  uint32_t value;
  bool operator==(const GslLayoutEntry&) const = default;
};

// A function record's line table.
struct GslLineEntry {
  uint32_t offset;  // in the function's code
  uint32_t line;
  bool operator==(const GslLineEntry&) const = default;
};

static_assert(sizeof(GslHeader) == kGslHeaderFixedBytes);
static_assert(sizeof(GslLibraryId) == 8 && sizeof(GslClassRef) == 8 &&
              sizeof(GslVirtualEntry) == 8 && sizeof(GslLineEntry) == 8);
static_assert(sizeof(GslFunctionRef) == 12 && sizeof(GslBaseEntry) == 12 &&
              sizeof(GslLayoutEntry) == 12);
static_assert(sizeof(GslMemberEntry) == kGslMemberEntryBytes);

}  // namespace GSLibraryFormat
