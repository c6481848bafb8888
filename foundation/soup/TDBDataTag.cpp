#include "foundation/soup/TDBDataTag.h"

#include <cstring>
#include <utility>

void* TDBDataTag::operator new(size_t size, Extra extra) {
  return ChunkArena::New(extra.arena, size + extra.bytes);
}

// Only reached when construction throws, which it does not; the arena's room
// is then simply left unused.
void TDBDataTag::operator delete(void* p, Extra extra) {
  if (extra.arena == nullptr) ::operator delete(p);
}

void TDBDataTag::operator delete(TDBDataTag* tag, std::destroying_delete_t) {
  ChunkArena::Destroy(tag, tag->inArena_);
}

ChunkRef TDBDataTag::Create(uint32_t type, CoreRef core) {
  auto* tag = new (Extra{0, nullptr}) TDBDataTag;
  tag->SetData(type, std::move(core));
  return ChunkRef::Adopt(tag);
}

// A tag with room for `size` bytes after it, pointing at that room.
TDBDataTag* TDBDataTag::NewWithBytes(ChunkArena* arena, uint32_t type, uint32_t size) {
  auto* tag = new (Extra{size, arena}) TDBDataTag;
  tag->inArena_ = arena != nullptr;
  tag->type_ = type;
  tag->size_ = size;
  tag->data_ = size != 0 ? tag->InlineBytes() : nullptr;
  return tag;
}

ChunkRef TDBDataTag::CreateCopy(uint32_t type, const void* data, uint32_t size) {
  return CreateCopyIn(nullptr, type, data, size);
}

ChunkRef TDBDataTag::CreateText(std::string_view text) {
  return CreateTextIn(nullptr, text);
}

ChunkRef TDBDataTag::CreateCopyIn(ChunkArena* arena, uint32_t type, const void* data,
                                  uint32_t size) {
  if (data == nullptr) size = 0;
  TDBDataTag* tag = NewWithBytes(arena, type, size);
  if (size != 0) std::memcpy(tag->InlineBytes(), data, size);
  return ChunkRef::Adopt(tag);
}

ChunkRef TDBDataTag::CreateTextIn(ChunkArena* arena, std::string_view text) {
  const auto length = static_cast<uint32_t>(text.size());
  TDBDataTag* tag = NewWithBytes(arena, SoupType::kString, length != 0 ? length + 1 : 0);
  if (length != 0) {
    std::memcpy(tag->InlineBytes(), text.data(), length);
    tag->InlineBytes()[length] = 0;
  }
  return ChunkRef::Adopt(tag);
}

const uint8_t* TDBDataTag::GetData() const {
  return data_;
}

uint32_t TDBDataTag::GetDataSize() const {
  return size_;
}

uint32_t TDBDataTag::GetType() const {
  return type_;
}

void TDBDataTag::SetData(uint32_t type, CoreRef core) {
  // A core from elsewhere keeps the arena from being released whole.
  if (inArena_) ChunkArena::OwnerOf(this)->NoteEdit();
  type_ = type;
  data_ = core ? core->Data() : nullptr;
  size_ = core ? core->Size() : 0;
  core_ = std::move(core);
}
