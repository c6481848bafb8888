#include "foundation/soup/TDBDataTag.h"

#include <cstring>
#include <utility>

ChunkRef TDBDataTag::Create(uint32_t type, CoreRef core) {
  auto* tag = new (Extra{0}) TDBDataTag;
  tag->SetData(type, std::move(core));
  return ChunkRef::Adopt(tag);
}

// A tag with room for `size` bytes after it, pointing at that room.
TDBDataTag* TDBDataTag::NewWithBytes(uint32_t type, uint32_t size) {
  auto* tag = new (Extra{size}) TDBDataTag;
  tag->type_ = type;
  tag->size_ = size;
  tag->data_ = size != 0 ? tag->InlineBytes() : nullptr;
  return tag;
}

ChunkRef TDBDataTag::CreateCopy(uint32_t type, const void* data, uint32_t size) {
  if (data == nullptr) size = 0;
  TDBDataTag* tag = NewWithBytes(type, size);
  if (size != 0) std::memcpy(tag->InlineBytes(), data, size);
  return ChunkRef::Adopt(tag);
}

ChunkRef TDBDataTag::CreateText(std::string_view text) {
  const auto length = static_cast<uint32_t>(text.size());
  TDBDataTag* tag = NewWithBytes(SoupType::kString, length != 0 ? length + 1 : 0);
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
  type_ = type;
  data_ = core ? core->Data() : nullptr;
  size_ = core ? core->Size() : 0;
  core_ = std::move(core);
}
