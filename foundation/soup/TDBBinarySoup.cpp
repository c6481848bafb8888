#include "foundation/soup/TDBBinarySoup.h"

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/soup/TDBContainerTag.h"
#include "foundation/soup/TDBDataChunk.h"
#include "foundation/soup/TDBDataTag.h"

using BinarySoup::Parse;
using BinarySoup::Record;

TDBBinarySoup::TDBBinarySoup(MPRef<TDBBinaryFile> file, uint32_t list, uint32_t length,
                             uint32_t record, uint32_t parentList)
    : file_(std::move(file)),
      list_(list),
      length_(length),
      record_(record),
      parentList_(parentList) {}

ChunkRef TDBBinarySoup::Create(MPRef<TDBBinaryFile> file, uint32_t list, uint32_t length,
                               uint32_t record, uint32_t parentList) {
  return ChunkRef::Adopt(new TDBBinarySoup(std::move(file), list, length, record, parentList));
}

// Steps to the next record at or after `at` that is not removed; false at
// the end of the list. The block was validated when it was loaded, so a
// record that does not parse cannot occur; it would end the list.
bool TDBBinarySoup::Next(uint32_t& at, Record& record) const {
  const uint8_t* block = file_->GetBlock();
  const uint32_t end = list_ + length_;
  const bool edited = file_->HasEdits();
  while (BinarySoup::ParseRecord(block, at, end, record) == Parse::kRecord) {
    at = record.next;
    if (!edited || !file_->IsRemoved(record.payload, list_)) return true;
  }
  return false;
}

const std::vector<TDBBinaryFile::Added>& TDBBinarySoup::Added() const {
  static const std::vector<TDBBinaryFile::Added> kNone;
  const auto* added = file_->AddedTo(list_);
  return added != nullptr ? *added : kNone;
}

ChunkRef TDBBinarySoup::Materialize(const TDBBinaryFile::Added& added) const {
  if (added.chunk) return added.chunk;
  // A record of this file: rebuilt as a lookup in its own list would.
  return BinarySoup::ConvertRecordIn(*file_, added.record, added.list);
}

TDBBinarySoup::Origin TDBBinarySoup::OriginOf(const ACSChunk* chunk) const {
  Origin origin;
  if (const auto* view = dynamic_cast<const TDBBinarySoup*>(chunk)) {
    if (view->file_.get() != file_.get()) return origin;
    origin.record = view->record_;
    origin.payload = view->list_;
    origin.list = view->parentList_;
  } else if (const auto* value = dynamic_cast<const TDBDataChunk*>(chunk)) {
    if (value->File() != file_.get()) return origin;
    origin.record = value->RecordOffset();
    origin.payload = value->Payload();
    origin.list = value->List();
  }
  return origin;
}

void TDBBinarySoup::RefreshCache() const {
  if (CacheIsCurrent()) return;
  cacheGeneration_ = file_->Generation();
  recordCount_ = kNotCounted;
  cursorIndex_ = kNotCounted;
}

uint32_t TDBBinarySoup::CountRecords() const {
  RefreshCache();
  if (recordCount_ != kNotCounted) return recordCount_;
  uint32_t count = 0;
  Record r;
  for (uint32_t at = list_; Next(at, r);) ++count;
  recordCount_ = count;
  return count;
}

ChunkRef TDBBinarySoup::GetChild(const Kiv::PString& name) const {
  if (!name.Empty()) {
    const std::string_view text = name.View();
    const uint8_t* block = file_->GetBlock();
    Record r;
    for (uint32_t at = list_; Next(at, r);) {
      if (r.nameLength == text.size() && std::memcmp(block + r.name, text.data(), text.size()) == 0)
        return BinarySoup::ConvertRecordIn(*file_, r.start, list_);
    }
  }
  for (const TDBBinaryFile::Added& added : Added()) {
    if (added.name == name) return Materialize(added);
  }
  return NullTag();
}

uint32_t TDBBinarySoup::CountChildren() const {
  return CountRecords() + static_cast<uint32_t>(Added().size());
}

bool TDBBinarySoup::GetChildAt(uint32_t index, Kiv::PString& name, ChunkRef& child) const {
  RefreshCache();
  uint32_t i = 0;
  uint32_t at = list_;
  if (cursorIndex_ != kNotCounted && cursorIndex_ <= index) {
    i = cursorIndex_;
    at = cursorRecord_;
  }
  if (recordCount_ == kNotCounted || index < recordCount_) {
    Record r;
    for (uint32_t from = at; Next(at, r); from = at, ++i) {
      if (i < index) continue;
      cursorIndex_ = i;
      cursorRecord_ = from;
      name = Kiv::PString(std::string_view(
          reinterpret_cast<const char*>(file_->GetBlock() + r.name), r.nameLength));
      child = BinarySoup::ConvertRecordIn(*file_, r.start, list_);
      return true;
    }
    recordCount_ = i;
  }
  const auto& added = Added();
  const uint32_t extra = index - recordCount_;
  if (extra < added.size()) {
    name = added[extra].name;
    child = Materialize(added[extra]);
    return true;
  }
  name = Kiv::PString();
  child = NullTag();
  return false;
}

void TDBBinarySoup::SetChild(const Kiv::PString& name, ChunkRef child) {
  if (!child) return;
  TDBBinaryFile::Added entry;
  entry.name = name;
  const Origin origin = OriginOf(child.get());
  for (const TDBBinaryFile::Added& added : Added()) {
    if (added.chunk.get() == child.get()) return;
    if (origin.record != TDBBinaryFile::kNoRecord && added.record == origin.record) return;
  }
  if (origin.record != TDBBinaryFile::kNoRecord) {
    // Kept as a record offset: a counted pointer to a chunk of this file
    // would make the file hold a reference to itself.
    entry.record = origin.record;
    entry.list = origin.list;
  } else {
    entry.chunk = std::move(child);
  }
  const uint32_t records = CountRecords();
  file_->Add(list_, std::move(entry));
  // The records did not change: keep their count and the cursor.
  cacheGeneration_ = file_->Generation();
  recordCount_ = records;
}

void TDBBinarySoup::RemoveChild(const ACSChunk* child) {
  if (child == nullptr || child == NullTagPointer()) return;
  const Origin origin = OriginOf(child);
  const auto& added = Added();
  for (size_t i = 0; i < added.size(); ++i) {
    const bool same =
        added[i].chunk ? added[i].chunk.get() == child : added[i].record == origin.record;
    if (!same) continue;
    const uint32_t records = CountRecords();
    file_->RemoveAdded(list_, i);
    cacheGeneration_ = file_->Generation();
    recordCount_ = records;
    return;
  }
  if (origin.record == TDBBinaryFile::kNoRecord || origin.list != list_) return;
  const uint32_t records = CountRecords();
  if (!file_->MarkRemoved(origin.payload, list_)) return;
  cacheGeneration_ = file_->Generation();
  recordCount_ = records - 1;
  cursorIndex_ = kNotCounted;  // the record may lie before the cursor
}

ChunkRef TDBBinarySoup::CreateChunk(uint32_t type, CoreRef core) {
  if (type == SoupType::kContainer) return TDBContainerTag::Create();
  return TDBDataTag::Create(type, std::move(core));
}
