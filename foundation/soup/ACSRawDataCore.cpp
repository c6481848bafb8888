#include "foundation/soup/ACSRawDataCore.h"

#include <cstring>

ACSRawDataCore::ACSRawDataCore(const uint8_t* data, uint32_t size, bool owns,
                               const ReferenceCountMP* owner)
    : data_(data), size_(size), owns_(owns ? 1 : 0), owner_(owner) {}

// Owned bytes live inside the core's own allocation: nothing to free here.
ACSRawDataCore::~ACSRawDataCore() {
  if (owner_ != nullptr) owner_->Release();
}

CoreRef ACSRawDataCore::CreateCopy(const void* data, uint32_t size) {
  if (data == nullptr || size == 0) return CoreRef();
  auto* core = new (Extra{size}) ACSRawDataCore(nullptr, size, true, nullptr);
  auto* bytes = reinterpret_cast<uint8_t*>(core + 1);
  std::memcpy(bytes, data, size);
  core->data_ = bytes;
  return CoreRef::Adopt(core);
}

CoreRef ACSRawDataCore::CreateView(const void* data, uint32_t size, const ReferenceCountMP* owner) {
  if (data == nullptr || size == 0) return CoreRef();
  auto* core = new (Extra{0}) ACSRawDataCore(static_cast<const uint8_t*>(data), size, false, owner);
  if (owner != nullptr) owner->AddRef();
  return CoreRef::Adopt(core);
}

std::string_view ACSRawDataCore::TextView(const ACSRawDataCore* core) {
  if (core == nullptr) return {};
  const char* text = reinterpret_cast<const char*>(core->data_);
  const void* nul = std::memchr(text, 0, core->size_);
  if (nul == nullptr) return std::string_view(text, core->size_);
  return std::string_view(text, static_cast<size_t>(static_cast<const char*>(nul) - text));
}
