#include "foundation/TDBDataTag.h"

#include <utility>

ChunkRef TDBDataTag::Create(uint32_t type, CoreRef core) {
  auto* tag = new TDBDataTag;
  tag->SetData(type, std::move(core));
  return ChunkRef::Adopt(tag);
}

const uint8_t* TDBDataTag::GetData() const { return core_ ? core_->Data() : nullptr; }

uint32_t TDBDataTag::GetDataSize() const { return core_ ? core_->Size() : 0; }

uint32_t TDBDataTag::GetType() const { return type_; }

void TDBDataTag::SetData(uint32_t type, CoreRef core) {
  type_ = type;
  core_ = std::move(core);
}
