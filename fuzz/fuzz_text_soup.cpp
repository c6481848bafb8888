// Fuzzes the text soup reader: parses the input (with the UTF-8 flag taken
// from the input's length) and checks that every text reads, that the
// stream stops inside the input on a "}" or a NUL byte when not at its end,
// and that the tree keeps the nesting bound. Then writes what was read and
// checks that the writer's text reads back to its end.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/Log.h"

namespace {

// Reads every tag back through the handle's converters and answers the
// number of nested sub-soups below `soup`; aborts past the nesting bound.
uint32_t Walk(const Soup& soup, uint32_t depth) {
  if (depth > TextSoup::kMaxDepth + 1) std::abort();
  uint32_t deepest = depth;
  for (uint32_t i = 0; i < soup.CountTags(); ++i) {
    const Kiv::PString name = soup.GetIndexedTagName(i);
    const Soup child = soup.GetIndexedSoup(i);
    if (!child.Empty() && child.GetChunk()->GetType() == SoupType::kContainer) {
      const uint32_t below = Walk(child, depth + 1);
      if (below > deepest) deepest = below;
    }
    (void)soup.GetNamedTag(name);
    (void)soup.GetNamedTagAsInt(name, 0);
    (void)soup.GetNamedTagAsKUID(name, KUID{});
  }
  return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const uint32_t n = static_cast<uint32_t>(size);

  Kiv::DynamicBuffer bytes;
  bytes.Write(data, n);
  bytes.SetPosition(0);
  TBuffer stream(&bytes, false);
  Soup soup;
  // A text in memory always reads.
  if (!TextSoup::Parse(soup, stream, (size & 1) != 0).Ok()) std::abort();
  const uint32_t stop = stream.Tell();
  if (stop > n) std::abort();
  if (stop < n && data[stop] != '}' && data[stop] != 0) std::abort();
  Walk(soup, 0);

  TBuffer written;
  TextSoup::Write(written, soup);
  const uint32_t writtenSize = written.Tell();
  written.SeekTo(0);
  Soup again;
  if (!TextSoup::Parse(again, written, false).Ok()) std::abort();
  if (written.Tell() != writtenSize) std::abort();
  Walk(again, 0);
  return 0;
}
