// TDBBinarySoup: a view of one record list of a loaded binary soup (the root
// list or the payload of a nested-list record), answering the ACSChunk
// interface in place. Its type is always 1 (container).
//
// Reading walks the list's records (see BinarySoup::ParseRecord); records
// that were removed through a view of this list are passed over:
//   GetChild     the first record, in file order, whose name bytes equal the
//                name's text exactly (case matters; the empty name matches
//                no record); failing that the first added child of that
//                name; else the null tag;
//   CountChildren  records not removed plus added children;
//   GetChildAt   the records not removed in file order, then the added
//                children in the order of adding; a record without a name
//                gives the empty name; false with the empty name and the
//                null tag past the end.
// Every lookup makes a new chunk over the same bytes (BinarySoup::
// ConvertRecord), so two lookups of one name give two equal, distinct
// objects.
//
// Editing changes the owning TDBBinaryFile, never the block, so every view
// of the same list sees the edit:
//   SetChild     adds the child after the others, unless it is already
//                among this list's added children; an empty child is
//                ignored;
//   RemoveChild  takes an added child out again, or enters a record of
//                this list in the removed set (matched by the chunk's
//                record, so a text converted from an old file is matched
//                too); the null tag and chunks of other lists are ignored;
//   CreateChunk  a new editable TDBContainerTag for type 1, else a
//                TDBDataTag: editing a view creates editable tags;
//   SortChildren, SwapChildren, SetData do nothing on a view.
//
// Cost: the count, and the position of the last GetChildAt, are cached
// until the file's next edit, so a walk over 0..n-1 is linear.
//
// Ownership: holds one reference on its file. Made with the count 1 for its
// creator. Not locked: see ACSChunk. Lookups update the cache, so one view
// is used by one thread at a time.
#pragma once

#include <cstdint>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/TDBBinaryFile.h"

class TDBBinarySoup final : public ACSChunk {
 public:
  static constexpr uint32_t kNoList = UINT32_MAX;

  // A view of the `length` bytes of list at offset `list` of the file's
  // block. `record` is the nested-list record it was made from and
  // `parentList` the list holding that record (kNoRecord and kNoList for the
  // root).
  static ChunkRef Create(MPRef<TDBBinaryFile> file, uint32_t list, uint32_t length, uint32_t record,
                         uint32_t parentList);

  ChunkRef GetChild(const Kiv::PString& name) const override;
  uint32_t CountChildren() const override;
  bool GetChildAt(uint32_t index, Kiv::PString& name, ChunkRef& child) const override;
  void SetChild(const Kiv::PString& name, ChunkRef child) override;
  void RemoveChild(const ACSChunk* child) override;
  ChunkRef CreateChunk(uint32_t type, CoreRef core) override;
  uint32_t GetType() const override { return SoupType::kContainer; }

  const TDBBinaryFile* File() const { return file_.get(); }
  uint32_t ListStart() const { return list_; }
  uint32_t ListLength() const { return length_; }
  uint32_t RecordOffset() const { return record_; }
  uint32_t ParentList() const { return parentList_; }

 private:
  static constexpr uint32_t kNotCounted = UINT32_MAX;

  // Where a chunk of this file came from, when it came from a record.
  struct Origin {
    uint32_t record = TDBBinaryFile::kNoRecord;
    uint32_t payload = 0;
    uint32_t list = kNoList;
  };

  TDBBinarySoup(MPRef<TDBBinaryFile> file, uint32_t list, uint32_t length, uint32_t record,
                uint32_t parentList);

  Origin OriginOf(const ACSChunk* chunk) const;
  bool Next(uint32_t& at, BinarySoup::Record& record) const;
  ChunkRef Materialize(const TDBBinaryFile::Added& added) const;
  const std::vector<TDBBinaryFile::Added>& Added() const;
  uint32_t CountRecords() const;
  bool CacheIsCurrent() const { return cacheGeneration_ == file_->Generation(); }
  void RefreshCache() const;

  MPRef<TDBBinaryFile> file_;
  uint32_t list_;
  uint32_t length_;
  uint32_t record_;
  uint32_t parentList_;
  // Cached until the file's next edit (cacheGeneration_).
  mutable uint64_t cacheGeneration_ = UINT64_MAX;
  mutable uint32_t recordCount_ = kNotCounted;
  mutable uint32_t cursorIndex_ = kNotCounted;
  mutable uint32_t cursorRecord_ = 0;
};
