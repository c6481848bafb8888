// VADFilterElement: one node of an asset-search filter, the tree that the
// tool writes into the body of search request 2 for the asset-database
// daemon, which evaluates it (the tool never does).
//
// Six classes derive from this base (VADFilterElementGroup, ...String,
// ...Bool, ...Int, ...Timestamp, ...AssetID). Each answers its interned
// field name and value text, its four-character type code, writes and reads
// its body, and compares itself with another element.
//
// Wire form of an element (integers little-endian): the u32 type code, then
// the body of its class. The type code 'grup' is the value 0x67727570, so
// its bytes on the wire are 70 75 72 67.
//
// WriteFilterElement: a missing element writes the u32 0 and answers false;
// otherwise the type code, then Write, answering what Write answers.
// ReadFilterElement: reads a type code (0 on a short read), makes the
// element with MakeFilterElement and reads its body; an unknown code, or a
// Read that answers false, gives none. Bodies that the stream cannot supply
// in full read as zeros and leave the stream's error code at 4 (the leaves
// still answer true); groups bound their depth and child count (see
// VADFilterElementGroup.h), so no input makes reading recurse or allocate
// without bound.
//
// Equality (Equals): by default two elements are equal when their field
// names and value texts are the same interned strings, whatever the other's
// class. Classes whose text does not show their whole value refine this
// (see each class). FilterElementsEqual(a, b) holds when a equals b and b
// equals a; two missing elements are equal, one missing one is not.
//
// Ownership: elements are plain heap objects with one owner; a group owns
// its children. Not thread-safe (one builder, one tree).
#pragma once

#include <cstdint>
#include <memory>

#include "kiv/PString.h"

class TStream;

inline constexpr uint32_t kFilterTypeGroup = 0x67727570;      // 'grup'
inline constexpr uint32_t kFilterTypeString = 0x7374726E;     // 'strn'
inline constexpr uint32_t kFilterTypeBool = 0x626F6F6C;       // 'bool'
inline constexpr uint32_t kFilterTypeInt = 0x696E7465;        // 'inte'
inline constexpr uint32_t kFilterTypeTimestamp = 0x74696D65;  // 'time'
inline constexpr uint32_t kFilterTypeAssetID = 0x61737374;    // 'asst'

class VADFilterElement {
 public:
  VADFilterElement() = default;
  VADFilterElement(const VADFilterElement&) = delete;
  VADFilterElement& operator=(const VADFilterElement&) = delete;
  virtual ~VADFilterElement() = default;

  virtual Kiv::PString GetFieldName() const = 0;
  virtual Kiv::PString GetValueText() const = 0;
  virtual uint32_t GetTypeCode() const = 0;
  virtual bool Write(TStream& stream) const = 0;
  virtual bool Read(TStream& stream) = 0;
  virtual bool Equals(const VADFilterElement& other) const;
};

// The interned text "unknown", the field name of an id outside a list.
Kiv::PString UnknownFilterFieldName();

// A new element with default values for a known type code, else null.
std::unique_ptr<VADFilterElement> MakeFilterElement(uint32_t typeCode);
bool WriteFilterElement(TStream& stream, const VADFilterElement* element);
std::unique_ptr<VADFilterElement> ReadFilterElement(TStream& stream);
bool FilterElementsEqual(const VADFilterElement* a, const VADFilterElement* b);
