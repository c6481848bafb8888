// TDBBinaryFile: one loaded binary soup (see foundation/BinarySoup.h): the
// record block, and the edits made through its views.
//
// ACSFile is the interface of a loaded soup file: Read loads it from a
// stream, GetRoot hands out the root chunk.
//
// Read(stream) drops any block held, then reads the 16-byte header and the
// block, and checks the block with BinarySoup::ValidateRecords. It answers
// true only for a whole, valid file (a block size of 0 is a valid empty
// soup with no block); otherwise false, with the reason in GetError and a
// LogMessage line naming the fault and its stream position. A refused file
// holds no block. The block is allocated once, 16-byte aligned, and never
// changed afterwards; its size is checked against the bytes the stream holds
// before it is allocated. A file that holds a block while other references
// to it (views) are alive is not read again (kInUse): the views read the
// block in place.
//
// GetRoot answers a new TDBBinarySoup over the whole block when a block is
// held, otherwise the shared null tag.
//
// Edits live beside the block, keyed by the start offset of the record list
// they belong to (the views, TDBBinarySoup, give them meaning):
//   - added children, per list, in the order of adding. A child that is a
//     view or value chunk made from a record of this very file is kept as
//     that record's offset rather than as a counted pointer, so that adding
//     it does not make the file hold a reference to itself. (An editable
//     container that holds such a chunk, added to this file, still does:
//     the file then lives until that container is removed again);
//   - removed records, a set of {payload offset, list offset};
//   - an edit generation that every change raises, which views use to know
//     when their cached counts and cursors are stale.
//
// Ownership: made with the count 1 for its creator (ReferenceCountMP); every
// view and value chunk made from it holds a reference, so the block lives as
// long as any of them. Not locked: see ACSChunk for the threading rule.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/BinarySoup.h"
#include "kiv/PString.h"

class TStream;

class ACSFile : public ReferenceCountMP {
 public:
  ACSFile(const ACSFile&) = delete;
  ACSFile& operator=(const ACSFile&) = delete;

  virtual bool Read(TStream& stream) = 0;
  virtual ChunkRef GetRoot() = 0;

 protected:
  ACSFile() = default;
};

class TDBBinaryFile final : public ACSFile {
 public:
  static constexpr uint32_t kNoRecord = UINT32_MAX;

  // A child added to a list: a counted chunk, or (for a chunk made from a
  // record of this file) the record's offset and the offset of the list
  // that holds it, with an empty `chunk`.
  struct Added {
    Kiv::PString name;
    ChunkRef chunk;
    uint32_t record = kNoRecord;
    uint32_t list = UINT32_MAX;
  };

  static MPRef<TDBBinaryFile> Create();
  ~TDBBinaryFile() override;

  bool Read(TStream& stream) override;
  ChunkRef GetRoot() override;

  BinarySoupError GetError() const { return error_; }
  // Where and why the last Read refused the file: the stream position of
  // the fault and the details ("" and 0 after a successful Read).
  uint32_t GetFaultOffset() const { return faultOffset_; }
  const std::string& GetFaultDetail() const { return faultDetail_; }
  uint32_t GetVersion() const { return version_; }
  int32_t GetBlockSize() const { return blockSize_; }
  const uint8_t* GetBlock() const { return block_.get(); }

  // --- Edits.
  bool HasEdits() const { return hasEdits_; }
  uint64_t Generation() const { return generation_; }
  bool IsRemoved(uint32_t payload, uint32_t list) const;
  // Enters the record in the removed set; false when it was there already.
  bool MarkRemoved(uint32_t payload, uint32_t list);
  // The children added to a list (null when none ever were).
  const std::vector<Added>* AddedTo(uint32_t list) const;
  void Add(uint32_t list, Added child);
  // Takes out the entry at `index` of a list's added children.
  void RemoveAdded(uint32_t list, size_t index);

 private:
  struct AlignedFree {
    void operator()(uint8_t* p) const;
  };
  struct RemovedKey {
    uint32_t payload;
    uint32_t list;
    bool operator==(const RemovedKey&) const = default;
  };
  struct RemovedHash {
    size_t operator()(const RemovedKey& k) const {
      return (size_t(k.list) << 32 | k.payload) * 0x9E3779B97F4A7C15ull >> 16;
    }
  };

  TDBBinaryFile() = default;

  bool Fail(BinarySoupError error, uint32_t at, const std::string& what);
  void Changed();

  uint32_t version_ = 0;
  int32_t blockSize_ = 0;
  std::unique_ptr<uint8_t, AlignedFree> block_;
  std::unordered_map<uint32_t, std::vector<Added>> added_;
  std::unordered_set<RemovedKey, RemovedHash> removed_;
  bool hasEdits_ = false;
  uint64_t generation_ = 0;
  BinarySoupError error_ = BinarySoupError::kNone;
  uint32_t faultOffset_ = 0;
  std::string faultDetail_;
};
