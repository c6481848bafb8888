// Fuzzes the binary soup reader: loads the input, walks the whole tree
// (names, values, lookups by name), edits the loaded view, and checks that
// whatever was accepted writes back out, loads again, and writes the same
// bytes a second time.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

namespace {

std::vector<uint8_t> Write(const Soup& soup) {
  TBuffer stream;
  BinarySoup::Write(stream, soup);
  const Kiv::DynamicBuffer* data = stream.GetData();
  return std::vector<uint8_t>(data->Data(), data->Data() + data->DataLength());
}

bool Read(const uint8_t* bytes, size_t size, Soup& soup) {
  Kiv::DynamicBuffer data;
  if (size != 0) data.Write(bytes, static_cast<uint32_t>(size));
  data.SetPosition(0);
  TBuffer stream(&data, false);
  return BinarySoup::Read(stream, soup);
}

// Nesting is bounded by the reader, so this recursion is too.
void Walk(const ACSChunk* chunk, uint32_t depth) {
  if (depth > BinarySoup::kMaxDepth + 1) std::abort();
  volatile uint8_t sink = 0;
  for (uint32_t i = 0; i < chunk->GetDataSize(); ++i) sink = sink ^ chunk->GetData()[i];
  const uint32_t count = chunk->CountChildren();
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name;
    ChunkRef child;
    if (!chunk->GetChildAt(i, name, child)) std::abort();
    // Every named record is found by its name (perhaps an earlier one).
    if (!name.Empty() && chunk->GetChild(name).get() == NullTagPointer()) std::abort();
    Walk(child.get(), depth + 1);
  }
  Kiv::PString name;
  ChunkRef past;
  if (chunk->GetChildAt(count, name, past)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  Soup soup;
  if (!Read(data, size, soup)) {
    if (!soup.Empty()) std::abort();
    return 0;
  }
  if (soup.Empty()) return 0;
  Walk(soup.GetChunk(), 0);

  const std::vector<uint8_t> first = Write(soup);
  Soup again;
  if (!Read(first.data(), first.size(), again)) std::abort();
  if (Write(again) != first) std::abort();

  // Edits on the view: replace, remove and move tags, then write again.
  const Kiv::PString name = soup.GetIndexedTagName(0);
  Soup sub = soup.GetIndexedSoup(soup.CountTags() - 1);
  soup.SetNamedInt(name, 7);
  // The new tag comes last (an earlier tag of the same name may still be
  // found first by name).
  Kiv::PString lastName;
  ChunkRef last;
  if (!soup.GetChunk()->GetChildAt(soup.CountTags() - 1, lastName, last)) std::abort();
  if (lastName != name || last->GetDataSize() != 4 || last->GetData()[0] != 7) std::abort();
  if (!sub.IsNull()) {
    sub.RemoveNamedTag(sub.GetIndexedTagName(0));
    soup.SetNamedSoup(Kiv::PString("moved"), sub);
  }
  soup.RemoveNamedTag(soup.GetIndexedTagName(soup.CountTags() / 2));
  Walk(soup.GetChunk(), 0);
  const std::vector<uint8_t> edited = Write(soup);
  Soup reread;
  if (!Read(edited.data(), edited.size(), reread)) std::abort();
  return 0;
}
