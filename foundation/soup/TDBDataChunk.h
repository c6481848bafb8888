// TDBDataChunk: one value record of a loaded binary soup (see
// foundation/BinarySoup.h and foundation/TDBBinaryFile.h), read in place.
//
// The value bytes are a raw core that points into the file's record block
// without copying. Two exceptions get a core of their own: integer, float and
// KUID payloads (types 6, 3, 7) that do not start on a 4-byte boundary are
// copied, so that their numbers can be read in place; and a text converted
// from an old (version 0) file holds the converted text. An empty payload
// gives no core (no data, size 0).
//
// The chunk remembers which record it was made from (the record's offset,
// the payload's offset and the offset of the record list it belongs to), so
// that a view of that list can remove or re-add it (TDBBinarySoup). Child
// operations and SetData keep the ACSChunk base behaviour: a value read
// from a file is not changed in place.
//
// Ownership: holds one reference on its file, which keeps the block alive;
// its core holds nothing (the bytes live as long as the file). Made with the
// count 1 for its creator. Not locked: see ACSChunk.
#pragma once

#include <cstdint>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/TDBBinaryFile.h"

class TDBDataChunk final : public ACSChunk {
 public:
  // A chunk of in-memory type `type` over `length` bytes of the block at
  // `payload` (copied when the type is numeric and the bytes unaligned).
  static ChunkRef FromPayload(MPRef<TDBBinaryFile> file, uint32_t type, uint32_t payload,
                              uint32_t length, uint32_t record, uint32_t list);
  // A chunk holding `core` in place of the payload's bytes.
  static ChunkRef WithCore(MPRef<TDBBinaryFile> file, uint32_t type, CoreRef core, uint32_t payload,
                           uint32_t record, uint32_t list);

  const uint8_t* GetData() const override;
  uint32_t GetDataSize() const override;
  uint32_t GetType() const override { return type_; }

  const TDBBinaryFile* File() const { return file_.get(); }
  uint32_t Payload() const { return payload_; }
  uint32_t RecordOffset() const { return record_; }
  uint32_t List() const { return list_; }

 private:
  TDBDataChunk(MPRef<TDBBinaryFile> file, CoreRef core, uint32_t type, uint32_t payload,
               uint32_t record, uint32_t list);

  MPRef<TDBBinaryFile> file_;
  CoreRef core_;
  uint32_t type_;
  uint32_t payload_;
  uint32_t record_;
  uint32_t list_;
};
