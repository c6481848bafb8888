#include "foundation/soup/Soup.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include <typeinfo>

#include "foundation/soup/ACSConvert.h"
#include "foundation/soup/TDBContainerTag.h"
#include "foundation/soup/TDBDataTag.h"

namespace {

// The chunk as an editable container when it is exactly one (not a view of
// a binary soup, nor another kind of chunk): such a container takes the
// setters' short path, which does the same as the general one with fewer
// lookups and allocations.
TDBContainerTag* AsEditable(ACSChunk* chunk) {
  if (chunk == nullptr || typeid(*chunk) != typeid(TDBContainerTag)) return nullptr;
  return static_cast<TDBContainerTag*>(chunk);
}

// The 4-byte value of `child` as `type` into `out`, which stays as it is
// when there is none. A child of that type is read in place; only another
// type makes a converted copy.
void ReadWord(const ACSChunk* child, uint32_t type, void* out) {
  if (child == nullptr) return;
  if (child->GetType() == type) {
    const uint8_t* data = child->GetData();
    if (data != nullptr && child->GetDataSize() == 4) std::memcpy(out, data, 4);
    return;
  }
  CoreRef value = ACSConvert(child->GetType(), ACSChunk::GetRawData(child), type);
  if (value && value->Size() == 4) std::memcpy(out, value->Data(), 4);
}

}  // namespace

void Soup::Create() {
  if (chunk_) return;
  chunk_ = TDBContainerTag::Create();
}

Soup Soup::GetOrCreate() {
  Create();
  return *this;
}

void Soup::Copy(Soup& destination, const Soup& source) {
  ChunkRef copy = TDBContainerTag::Create();
  CopySoupInto(copy.get(), source.chunk_.get());
  destination.chunk_ = std::move(copy);
}

uint32_t Soup::CountTags() const {
  return chunk_ ? chunk_->CountChildren() : 0;
}

// The child of that name when it holds something: not the null tag and not
// of type 0.
ChunkRef Soup::FindChild(const Kiv::PString& name) const {
  if (!chunk_) return ChunkRef();
  ChunkRef child = chunk_->GetChild(name);
  if (IsNullChunk(child.get())) return ChunkRef();
  return child;
}

const ACSChunk* Soup::PeekChild(const Kiv::PString& name, ChunkRef& keep) const {
  if (const TDBContainerTag* container = AsEditable(chunk_.get())) {
    const ACSChunk* child = container->FindFirstNamed(name);
    return IsNullChunk(child) ? nullptr : child;
  }
  keep = FindChild(name);
  return keep.get();
}

bool Soup::HasNamedTag(const Kiv::PString& name) const {
  return static_cast<bool>(FindChild(name));
}

uint32_t Soup::GetNamedTagType(const Kiv::PString& name) const {
  ChunkRef child = FindChild(name);
  return child ? child->GetType() : SoupType::kNull;
}

Kiv::PString Soup::GetIndexedTagName(uint32_t index) const {
  if (!chunk_) return Kiv::PString();
  Kiv::PString name;
  ChunkRef child;
  chunk_->GetChildAt(index, name, child);
  return name;
}

Soup Soup::GetNamedSoup(const Kiv::PString& name) const {
  ChunkRef child = FindChild(name);
  if (!child || child->GetType() != SoupType::kContainer) return Soup();
  return Soup(std::move(child));
}

Soup Soup::GetIndexedSoup(uint32_t index) const {
  if (!chunk_) return Soup();
  Kiv::PString name;
  ChunkRef child;
  if (!chunk_->GetChildAt(index, name, child)) return Soup();
  if (IsNullChunk(child.get()) || child->GetType() != SoupType::kContainer) return Soup();
  return Soup(std::move(child));
}

CoreRef Soup::GetNamedTagRawData(const Kiv::PString& name) const {
  ChunkRef child = FindChild(name);
  return child ? ACSChunk::GetRawData(child.get()) : CoreRef();
}

CoreRef Soup::ConvertedValue(const Kiv::PString& name, uint32_t toType) const {
  ChunkRef child = FindChild(name);
  if (!child) return CoreRef();
  return ACSConvert(child->GetType(), ACSChunk::GetRawData(child.get()), toType);
}

Kiv::PString Soup::GetNamedTag(const Kiv::PString& name) const {
  CoreRef text = ConvertedValue(name, SoupType::kString);
  return Kiv::PString(ACSRawDataCore::TextView(text.get()));
}

int32_t Soup::GetNamedTagAsInt(const Kiv::PString& name, int32_t def) const {
  int32_t result = def;
  ChunkRef keep;
  ReadWord(PeekChild(name, keep), SoupType::kInt, &result);
  return result;
}

bool Soup::GetNamedTagAsBool(const Kiv::PString& name, bool def) const {
  return GetNamedTagAsInt(name, def ? 1 : 0) != 0;
}

float Soup::GetNamedTagAsFloat(const Kiv::PString& name, float def) const {
  float result = def;
  ChunkRef keep;
  ReadWord(PeekChild(name, keep), SoupType::kFloat, &result);
  return result;
}

bool Soup::GetNamedTagAsFloatArray(const Kiv::PString& name, std::vector<float>& out) const {
  out.clear();
  CoreRef value = ConvertedValue(name, SoupType::kFloat);
  const uint32_t n = value ? value->Size() / 4 : 0;
  if (n == 0) return false;
  out.reserve((size_t(n) + 7) / 8 * 8);
  out.resize(n);
  std::memcpy(out.data(), value->Data(), size_t(n) * 4);
  return true;
}

KUID Soup::GetNamedTagAsKUID(const Kiv::PString& name, const KUID& def) const {
  CoreRef value = ConvertedValue(name, SoupType::kKUID);
  if (!value || value->Size() != 8) return def;
  return KUIDFromRawBytes(value->Data());
}

Kiv::PString Soup::GetUniqueTagName() const {
  for (uint32_t i = 0;; ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(i));
    Kiv::PString name(text);
    if (!HasNamedTag(name)) return name;
  }
}

void Soup::SetValue(const Kiv::PString& name, uint32_t type, const void* data, uint32_t size) {
  Create();
  if (TDBContainerTag* container = AsEditable(chunk_.get())) {
    // Made before the old tag goes: `data` may lie in its bytes.
    ChunkRef tag = TDBDataTag::CreateCopy(type, data, size);
    return container->ReplaceFirstNamed(name, std::move(tag));
  }
  RemoveNamedTag(name);
  CoreRef core = ACSRawDataCore::CreateCopy(data, size);
  chunk_->SetChild(name, chunk_->CreateChunk(type, std::move(core)));
}

void Soup::SetNamedTag(const Kiv::PString& name, const Kiv::PString& text) {
  SetNamedTag(name, text.View());
}

void Soup::SetNamedTag(const Kiv::PString& name, std::string_view text) {
  if (text.empty()) return SetValue(name, SoupType::kString, nullptr, 0);
  Create();
  if (TDBContainerTag* container = AsEditable(chunk_.get())) {
    return container->ReplaceFirstNamed(name, TDBDataTag::CreateText(text));
  }
  std::string bytes(text);
  SetValue(name, SoupType::kString, bytes.c_str(), static_cast<uint32_t>(bytes.size() + 1));
}

void Soup::SetNamedInt(const Kiv::PString& name, int32_t value) {
  SetValue(name, SoupType::kInt, &value, sizeof value);
}

void Soup::SetNamedBool(const Kiv::PString& name, bool flag) {
  SetNamedInt(name, flag ? 1 : 0);
}

void Soup::SetNamedFloat(const Kiv::PString& name, float value) {
  SetValue(name, SoupType::kFloat, &value, sizeof value);
}

void Soup::SetNamedFloatArray(const Kiv::PString& name, std::span<const float> values) {
  SetValue(name, SoupType::kFloat, values.data(), static_cast<uint32_t>(values.size_bytes()));
}

void Soup::SetNamedKUID(const Kiv::PString& name, const KUID& kuid) {
  uint8_t raw[8];
  KUIDToRawBytes(kuid, raw);
  SetValue(name, SoupType::kKUID, raw, sizeof raw);
}

void Soup::SetNamedNull(const Kiv::PString& name) {
  SetValue(name, SoupType::kNull, nullptr, 0);
}

void Soup::SetNamedSoup(const Kiv::PString& name, Soup& subSoup) {
  Create();
  subSoup.Create();
  RemoveNamedTag(name);
  chunk_->SetChild(name, subSoup.chunk_);
}

void Soup::RemoveNamedTag(const Kiv::PString& name) {
  if (!chunk_) return;
  if (TDBContainerTag* container = AsEditable(chunk_.get()))
    return container->RemoveFirstNamed(name);
  ChunkRef child = chunk_->GetChild(name);
  if (child.get() == NullTagPointer()) return;
  chunk_->RemoveChild(child.get());
}

void Soup::RemoveTag(const Soup& child) {
  if (!chunk_ || !child.chunk_) return;
  chunk_->RemoveChild(child.chunk_.get());
}
