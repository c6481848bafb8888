#include "foundation/soup/ACSChunk.h"

#include <utility>
#include <vector>

ACSChunk::~ACSChunk() = default;

ChunkRef ACSChunk::GetChild(const Kiv::PString&) const {
  return NullTag();
}

uint32_t ACSChunk::CountChildren() const {
  return 0;
}

bool ACSChunk::GetChildAt(uint32_t, Kiv::PString& name, ChunkRef& child) const {
  name = Kiv::PString();
  child = NullTag();
  return false;
}

bool ACSChunk::GetChildAtCursor(uint32_t index, ChildCursor& cursor, const Kiv::PString*& name,
                                const ACSChunk*& child) const {
  const bool found = GetChildAt(index, cursor.name, cursor.child);
  name = &cursor.name;
  child = cursor.child.get();
  return found;
}

void ACSChunk::SortChildren() {}

void ACSChunk::SwapChildren(const ACSChunk*, const ACSChunk*) {}

void ACSChunk::SetChild(const Kiv::PString&, ChunkRef) {}

void ACSChunk::RemoveChild(const ACSChunk*) {}

ChunkRef ACSChunk::CreateChunk(uint32_t, CoreRef) {
  return NullTag();
}

const uint8_t* ACSChunk::GetData() const {
  return nullptr;
}

uint32_t ACSChunk::GetDataSize() const {
  return 0;
}

uint32_t ACSChunk::GetType() const {
  return SoupType::kNull;
}

void ACSChunk::SetData(uint32_t, CoreRef) {}

CoreRef ACSChunk::GetRawData(const ACSChunk* chunk) {
  if (chunk == nullptr) return CoreRef();
  return ACSRawDataCore::CreateView(chunk->GetData(), chunk->GetDataSize(), chunk);
}

namespace {

// The base class made concrete; the one instance is the shared null tag.
class NullChunk final : public ACSChunk {};

ACSChunk* TheNullTag() {
  // Made on first use and never freed: its own reference is never dropped.
  static ACSChunk* const tag = new NullChunk;
  return tag;
}

}  // namespace

ChunkRef NullTag() {
  return ChunkRef::Share(TheNullTag());
}

const ACSChunk* NullTagPointer() {
  return TheNullTag();
}

bool IsNullChunk(const ACSChunk* chunk) {
  return chunk == nullptr || chunk == TheNullTag() || chunk->GetType() == SoupType::kNull;
}

ChunkRef AdoptChunk(ChunkRef chunk) {
  if (IsNullChunk(chunk.get())) return ChunkRef();
  return chunk;
}

namespace {

void CopyValueInto(ACSChunk* destination, const ACSChunk* source) {
  if (source->GetType() == SoupType::kNull) return;
  destination->SetData(source->GetType(), ACSChunk::GetRawData(source));
}

void ClearChildren(ACSChunk* destination) {
  for (uint32_t n = destination->CountChildren(); n > 0; --n) {
    Kiv::PString name;
    ChunkRef child;
    if (!destination->GetChildAt(n - 1, name, child)) continue;
    destination->RemoveChild(child.get());
  }
}

}  // namespace

// Iterative, so that a deeply nested source does not exhaust the stack.
void CopySoupInto(ACSChunk* destination, const ACSChunk* source) {
  if (destination == nullptr || source == nullptr) return;
  struct Pending {
    ChunkRef destination;
    ChunkRef source;
  };
  std::vector<Pending> work;
  work.push_back({ChunkRef::Share(destination), ChunkRef::Share(const_cast<ACSChunk*>(source))});
  while (!work.empty()) {
    Pending item = std::move(work.back());
    work.pop_back();
    CopyValueInto(item.destination.get(), item.source.get());
    ClearChildren(item.destination.get());
    const uint32_t count = item.source->CountChildren();
    for (uint32_t i = 0; i < count; ++i) {
      Kiv::PString name;
      ChunkRef child;
      if (!item.source->GetChildAt(i, name, child)) continue;
      ChunkRef copy = item.destination->CreateChunk(child->GetType(), CoreRef());
      item.destination->SetChild(name, copy);
      work.push_back({std::move(copy), std::move(child)});
    }
  }
}
