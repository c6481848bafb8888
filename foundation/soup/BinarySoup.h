// BinarySoup: the binary ("ACS$") file form of a soup.
//
// File layout, all integers little-endian:
//   0  "ACS$"   4  version (1 is written; 0 and 1 are read)
//   8  reserved (written 0, ignored)   12  block size   16  record block
// The record block holds the records of the root soup one after another. A
// record is: u32 size of what follows; u8 name length counting its NUL (0 =
// no name); the name bytes and NUL; u8 file type code; the payload. A record
// list ends where fewer than 6 bytes of it remain; records are not padded.
// File type codes (kFile* below): 0 nested list, 1 ints, 2 floats, 3 text
// with its NUL, 4 raw bytes, 5 null, 12 raw bytes after padding to a 16-byte
// boundary of the block, 13 KUID (packed word, then content id); every other
// code reads as a null tag.
//
// Writing (Write, WriteRecord) walks any soup through the ACSChunk
// interface. A record whose name has 255 characters or more cannot be
// stored: it is left out (with its whole subtree), a LogMessage line names
// it, and Write answers false. Write also answers false when the stream
// holds an error code afterwards (write errors stay in the stream's sticky
// code, see TStream).
//
// Reading (Read) loads the record block once into a TDBBinaryFile and hands
// out in-place views (TDBBinarySoup, TDBDataChunk). A file is accepted only
// when its header is whole, its magic and version are right, its block lies
// inside the stream, and every record of every list checks out
// (ValidateRecords): the size fits its list, the name length and type byte
// fit the size, the name ends with its only NUL, a type-12 payload holds its
// padding, and lists nest at most kMaxDepth deep. A block size of 0 is an
// empty soup: success with an empty handle. Anything else is refused: Read
// answers false, the handle is left empty, the reason is available as a
// BinarySoupError, and a LogMessage line names the fault and its stream
// position. (A damaged block or an unknown version is never loaded as an
// empty soup reported as success.) The only allocation is the block itself,
// whose size is bounded by the bytes the stream holds.
//
// Threads: no shared state; one stream and one soup per call.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/soup/ACSChunk.h"

class Soup;
class TDBBinaryFile;
class TDBBinarySoup;
class TStream;

// Why a binary soup was refused.
enum class BinarySoupError : uint32_t {
  kNone = 0,
  kShortHeader,   // fewer than 16 header bytes
  kBadMagic,      // the file does not start with "ACS$"
  kBadVersion,    // a version other than 0 or 1
  kBadBlockSize,  // negative, or reaching past the end of the stream
  kNoMemory,      // the block could not be allocated
  kShortBlock,    // the stream gave fewer bytes than the block size
  kDamagedBlock,  // a record does not fit its list (ValidateRecords)
  kInUse,         // TDBBinaryFile::Read on a file whose views are alive
};

const char* BinarySoupErrorText(BinarySoupError error);

namespace BinarySoup {

constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kVersion = 1;
// Nested lists deeper than this are refused, so no reader or walker of a
// loaded soup can exhaust the stack.
constexpr uint32_t kMaxDepth = 256;
// The longest name a record can hold (its length byte counts the NUL).
constexpr uint32_t kMaxNameLength = 254;
// Bytes below which a record list ends: the size word, the name length byte
// and the type byte of an unnamed record.
constexpr uint32_t kMinRecord = 6;

constexpr uint8_t kFileContainer = 0;
constexpr uint8_t kFileInts = 1;
constexpr uint8_t kFileFloats = 2;
constexpr uint8_t kFileText = 3;
constexpr uint8_t kFileRaw = 4;
constexpr uint8_t kFileNull = 5;
constexpr uint8_t kFileAlignedRaw = 12;
constexpr uint8_t kFileKUID = 13;

// One record of a list, as offsets into the record block.
struct Record {
  uint32_t start = 0;       // the size word
  uint32_t name = 0;        // the name's first byte
  uint32_t nameLength = 0;  // without the NUL; 0 without a name
  uint8_t fileType = 0;
  uint32_t payload = 0;        // type 12: after its padding
  uint32_t payloadLength = 0;  // type 12: without its padding
  uint32_t next = 0;           // the first byte after the record
};

enum class Parse { kEnd, kRecord, kDamaged };

// Reads the record at `at` of a list that ends at `end` (offsets into
// `block`, whose address is 16-byte aligned). kEnd when fewer than
// kMinRecord bytes remain; kDamaged (with a description in `problem`, when
// given) when the record does not fit as described above.
Parse ParseRecord(const uint8_t* block, uint32_t at, uint32_t end, Record& out,
                  const char** problem = nullptr);

// The structural check of a whole record block (the root list and every
// nested list). On failure `problem` (when given) says what is wrong and
// `offset` (when given) is the block offset of the record at fault.
bool ValidateRecords(const uint8_t* block, uint32_t size, const char** problem = nullptr,
                     uint32_t* offset = nullptr);

// The chunk for the record at `record` of `parent`'s list, by its file type
// code: a view for a nested list, a value chunk otherwise (see
// TDBDataChunk), a null value for unknown codes.
ChunkRef ConvertRecord(uint32_t record, const TDBBinarySoup& parent);
// The same for a record of `file`'s (validated) block that belongs to the
// list at offset `list`.
ChunkRef ConvertRecordIn(const TDBBinaryFile& file, uint32_t record, uint32_t list);

// Writes the whole soup: header, then the children of the root. An empty
// handle writes an empty soup (16 bytes). Answers false when a tag was left
// out or the stream holds an error code.
bool Write(TStream& stream, const Soup& soup);
bool Write(TStream& stream, const ACSChunk* root);
// Writes one record, and for a container its nested list. Answers false
// when this record or one inside it was left out, or the stream holds an
// error code.
bool WriteRecord(const ACSChunk* child, const Kiv::PString& name, TStream& stream);

// Describes the first tag, depth first in order, that Write would leave out
// of `soup`: the text 'the tag "PATH" cannot be stored: REASON', where PATH
// holds the names from the root down, separated by "/" (names over 40
// characters shortened with "..."). Empty when every tag can be stored.
std::string FindUnstorableTag(const Soup& soup);

// Loads a binary soup from the stream's position. The handle's previous
// content is released first. On success the handle holds the root view (or
// stays empty for an empty soup); on failure it stays empty, `error` (when
// given) says why, `fault` (when given) says where and why as
// "byte OFFSET: REASON (DETAIL)", OFFSET counted from the start of the
// stream, and a LogMessage line gives the details.
bool Read(TStream& stream, Soup& soup, BinarySoupError* error = nullptr,
          std::string* fault = nullptr);

}  // namespace BinarySoup
