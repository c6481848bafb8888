#include "foundation/soup/TDBDataChunk.h"

#include <utility>

namespace {

bool IsNumeric(uint32_t type) {
  return type == SoupType::kInt || type == SoupType::kFloat || type == SoupType::kKUID;
}

}  // namespace

TDBDataChunk::TDBDataChunk(MPRef<TDBBinaryFile> file, CoreRef core, uint32_t type, uint32_t payload,
                           uint32_t record, uint32_t list)
    : file_(std::move(file)),
      core_(std::move(core)),
      type_(type),
      payload_(payload),
      record_(record),
      list_(list) {}

ChunkRef TDBDataChunk::FromPayload(MPRef<TDBBinaryFile> file, uint32_t type, uint32_t payload,
                                   uint32_t length, uint32_t record, uint32_t list) {
  const uint8_t* bytes = file->GetBlock() + payload;
  const bool unaligned = (reinterpret_cast<uintptr_t>(bytes) & 3) != 0;
  // The file holds the bytes for as long as this chunk lives, so the view
  // needs no owner of its own (an owner would be a reference cycle).
  CoreRef core = IsNumeric(type) && unaligned ? ACSRawDataCore::CreateCopy(bytes, length)
                                              : ACSRawDataCore::CreateView(bytes, length, nullptr);
  return WithCore(std::move(file), type, std::move(core), payload, record, list);
}

ChunkRef TDBDataChunk::WithCore(MPRef<TDBBinaryFile> file, uint32_t type, CoreRef core,
                                uint32_t payload, uint32_t record, uint32_t list) {
  return ChunkRef::Adopt(
      new TDBDataChunk(std::move(file), std::move(core), type, payload, record, list));
}

const uint8_t* TDBDataChunk::GetData() const {
  return core_ ? core_->Data() : nullptr;
}

uint32_t TDBDataChunk::GetDataSize() const {
  return core_ ? core_->Size() : 0;
}
