// The stream chunks of WorldList: the item list, the item-data chunk and
// the object chunk (see WorldList.h for their layout).
#include <memory>
#include <string>

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/stream/TSubFile.h"
#include "gsnative/WorldList.h"
#include "gsnative/WorldStreamWriter.h"

namespace {

// A length field: the marker means it was never patched.
bool ReadLength(WorldStreamReader& in, const char* field, uint32_t& length) {
  const uint32_t at = in.Tell();
  if (!in.Word(length, field)) return false;
  if (length != TStream::kMarker) return true;
  return in.Fail(field, at, "was never written");
}

// Reads a chunk's length and limits `in` to the chunk; `end` is where the
// reading should leave the stream (the chunk's end, or the stream's when
// the length runs past it).
bool OpenChunk(WorldStreamReader& in, uint32_t& end) {
  end = in.Limit();
  uint32_t length = 0;
  if (!ReadLength(in, "chunk length", length)) return false;
  uint32_t chunkEnd = 0;
  if (!in.Span(length, "chunk", chunkEnd)) return false;
  end = chunkEnd;
  in.SetLimit(chunkEnd);
  return true;
}

// Writes a body through `save` behind a patched length field.
template <typename F>
uint32_t WriteBody(TStream& s, F save) {
  const uint32_t at = s.WriteMarker();
  save(s);
  const uint32_t length = s.Tell() - at - 4;
  s.PatchLength(at);
  return length;
}

}  // namespace

void WorldList::SaveItems(TStream& stream, uint32_t mask, uint32_t value) {
  WorldStreamWriter writer(stream);
  TStream& s = writer.Stage();
  TStreamWriteU32(s, kItemListVersion);
  TStreamWriteU32(s, saveWord_);
  ForEachItem([&](uint32_t, WorldListItem* item) {
    if (!Matches(*item, mask, value)) return;
    SaveItemHeader(writer, *item);
    writer.EndRecord();
  });
  TStreamWriteU32(s, kEndOfRecords);
  SaveItemDataTo(writer, mask, value);
}

void WorldList::SaveItemHeader(WorldStreamWriter& writer, WorldListItem& item) {
  TStream& s = writer.Stage();
  TStreamWriteU32(s, uint32_t(item.GetIndex()));
  TStreamWriteU32(s, item.GetTypeId());
  WriteKUID(s, item.GetKUID());
  const uint32_t length = WriteBody(s, [&](TStream& body) { item.SaveListRecord(body); });
  // A body the reader would refuse makes the save fail visibly.
  if (length > kMaxListBody) s.SetError(TStream::kErrorSize);
}

void WorldList::SaveItemData(TStream& stream, uint32_t mask, uint32_t value) {
  WorldStreamWriter writer(stream);
  SaveItemDataTo(writer, mask, value);
}

void WorldList::SaveItemDataTo(WorldStreamWriter& writer, uint32_t mask, uint32_t value) {
  const uint32_t at = writer.BeginChunk();
  TStream& s = writer.Stage();
  TStreamWriteU32(s, TStream::kMarker);
  TStreamWriteU32(s, kItemDataVersion);
  TStreamWriteU32(s, saveWord_);
  if ((mask & value & kItemDataFlag) != 0) {
    ForEachItem([&](uint32_t index, WorldListItem* item) {
      if (!Matches(*item, mask, value)) return;
      TStreamWriteU32(s, index);
      TStreamWriteU32(s, item->GetTypeId());
      WriteBody(s, [&](TStream& body) { item->SaveItemData(body); });
      writer.EndRecord();
    });
  }
  TStreamWriteU32(s, kEndOfRecords);
  writer.EndChunk(at);
}

void WorldList::SaveObjectChunk(TStream& stream) {
  WorldStreamWriter writer(stream);
  const uint32_t at = writer.BeginChunk();
  TStream& s = writer.Stage();
  TStreamWriteU32(s, TStream::kMarker);
  TStreamWriteU32(s, kObjectChunkVersion);
  ForEachItem([&](uint32_t index, WorldListItem* item) {
    if (item->GetTypeId() != kObjectTypeId) return;
    TStreamWriteU32(s, index);
    WriteBody(s, [&](TStream& body) { item->SaveObjectRecord(body); });
    writer.EndRecord();
  });
  TStreamWriteU32(s, kEndOfRecords);
  writer.EndChunk(at);
}

// --- Item list ---------------------------------------------------------------

WorldStreamResult WorldList::LoadItems(TStream& stream, bool clearFirst, uint32_t flags) {
  if (clearFirst) Clear();
  WorldStreamReader in(stream, "item list", stream.GetSize());
  const uint32_t at = in.Tell();
  uint32_t version = 0;
  if (!in.Word(version, "version")) return in.Result();
  if (version < 1 || version > kItemListVersion) {
    in.Fail("version", at, "is " + std::to_string(version) + ", not 1 to 5");
    return in.Result();
  }
  const uint32_t kept = saveWord_;
  bool ok = version < 5 || in.Word(saveWord_, "save word");
  if (ok && version >= 2) ok = LoadListRecords(in, version);
  saveWord_ = kept;
  if (!ok || version < 4) return in.Result();
  return LoadItemData(stream, flags);
}

bool WorldList::LoadListRecords(WorldStreamReader& in, uint32_t version) {
  // Every record takes at least 8 bytes, so the limit ends the loop.
  for (;;) {
    const uint32_t at = in.Tell();
    uint32_t index = 0;
    if (!in.Word(index, "record index")) return false;
    if (index == kEndOfRecords) return true;
    if (!LoadListRecord(in, version, index, at)) return false;
  }
}

bool WorldList::LoadListRecord(WorldStreamReader& in, uint32_t version, uint32_t index,
                               uint32_t at) {
  WorldItemRecord record{0, kNullKUID, factoryWord_, saveWord_};
  if (!in.Word(record.typeId, "record type id")) return false;
  if (index >= kMaxSlots) {
    return in.Fail(
        "record index", at,
        "is " + std::to_string(index) + ", beyond the limit of " + std::to_string(kMaxSlots - 1));
  }
  TStream& stream = in.Stream();
  if (version == 2) {
    ReadListBody(index, record, stream);
    return true;
  }
  uint32_t length = 0;
  if (!in.ReadKUID(record.kuid, "record KUID")) return false;
  const uint32_t lengthAt = in.Tell();
  if (!ReadLength(in, "record body length", length)) return false;
  if (length > kMaxListBody) {
    return in.Fail(
        "record body length", lengthAt,
        "is " + std::to_string(length) + ", over the limit of " + std::to_string(kMaxListBody));
  }
  const uint32_t start = in.Tell();
  uint32_t end = 0;
  if (!in.Span(length, "record body", end)) return false;
  {
    TSubFile body(stream, start, end);
    ReadListBody(index, record, body);
  }
  stream.SeekTo(end);
  return true;
}

void WorldList::ReadListBody(uint32_t index, const WorldItemRecord& record, TStream& body) {
  loadingKUID_ = record.kuid;
  WorldListItem* present = GetItem(index);
  if (present != nullptr && present->GetTypeId() == record.typeId) {
    present->LoadListRecord(body);
    loadingKUID_ = kNullKUID;
    ItemMoved(present);
    return;
  }
  if (present != nullptr) {
    RemoveItem(present);
    delete present;
  }
  std::unique_ptr<WorldFactoryItem> made = WorldItemFactory::MakeItem(record, body);
  auto* item = dynamic_cast<WorldListItem*>(made.get());
  if (item != nullptr && AddAt(item, index)) made.release();
  loadingKUID_ = kNullKUID;
}

// --- Item-data chunk ---------------------------------------------------------

WorldStreamResult WorldList::LoadItemData(TStream& stream, uint32_t flags) {
  WorldStreamReader in(stream, "item-data chunk", stream.GetSize());
  uint32_t end = 0;
  bool ok = OpenChunk(in, end);
  if (ok && (flags & kItemDataFlag) != 0) ok = LoadItemDataBody(in);
  if (in.Tell() != end) stream.SeekTo(end);
  return in.Result();
}

bool WorldList::LoadItemDataBody(WorldStreamReader& in) {
  uint32_t first = 0;
  if (!in.Word(first, "chunk marker")) return false;
  uint32_t version = 0;
  const bool marked = first == TStream::kMarker;
  if (marked && !in.Word(version, "chunk version")) return false;
  if (version > kItemDataVersion) return true;
  const uint32_t kept = saveWord_;
  bool ok = version < 2 || in.Word(saveWord_, "save word");
  if (ok) ok = LoadDataRecords(in, version, marked ? nullptr : &first);
  saveWord_ = kept;
  return ok;
}

bool WorldList::LoadDataRecords(WorldStreamReader& in, uint32_t version, const uint32_t* first) {
  TStream& stream = in.Stream();
  // Every record takes at least 8 bytes, so the limit ends the loop.
  for (;;) {
    uint32_t index = 0;
    if (first != nullptr) {
      index = *first;
      first = nullptr;
    } else if (!in.Word(index, "record index")) {
      return false;
    }
    if (index == kEndOfRecords) return true;
    uint32_t typeId = kBlankTypeId;
    if (version >= 1 && !in.Word(typeId, "record type id")) return false;
    if (index >= GetSlotCount()) return true;
    uint32_t length = 0;
    if (!ReadLength(in, "record body length", length)) return false;
    const uint32_t start = in.Tell();
    uint32_t end = 0;
    if (!in.Span(length, "record body", end)) return false;
    WorldListItem* item = GetItem(index);
    if (item != nullptr && item->GetTypeId() == typeId) {
      TSubFile body(stream, start, end);
      item->LoadItemData(body);
    }
    stream.SeekTo(end);
  }
}

// --- Object chunk ------------------------------------------------------------

WorldStreamResult WorldList::LoadObjectChunk(TStream& stream) {
  WorldStreamReader in(stream, "object chunk", stream.GetSize());
  uint32_t end = 0;
  if (OpenChunk(in, end)) LoadObjectBody(in);
  if (in.Tell() != end) stream.SeekTo(end);
  return in.Result();
}

bool WorldList::LoadObjectBody(WorldStreamReader& in) {
  uint32_t marker = 0;
  uint32_t version = 0;
  if (!in.Word(marker, "chunk marker")) return false;
  if (marker != TStream::kMarker) return true;
  if (!in.Word(version, "chunk version")) return false;
  if (version > kObjectChunkVersion) return true;
  TStream& stream = in.Stream();
  // Every record takes at least 8 bytes, so the limit ends the loop.
  for (;;) {
    uint32_t index = 0;
    uint32_t length = 0;
    if (!in.Word(index, "record index")) return false;
    if (index == kEndOfRecords) return true;
    if (!ReadLength(in, "record body length", length)) return false;
    const uint32_t start = in.Tell();
    uint32_t end = 0;
    if (!in.Span(length, "record body", end)) return false;
    WorldListItem* item = GetItem(index);
    if (item != nullptr && item->GetTypeId() == kObjectTypeId && length != 0) {
      TSubFile body(stream, start, end);
      item->LoadObjectRecord(body);
    }
    stream.SeekTo(end);
  }
}
