// Fuzzes the text soup reader: parses the input (with the UTF-8 flag taken
// from the input's length), checks that a refused text leaves the handle
// empty and that the stream stays inside the input, then writes what was
// read and parses the writer's text again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "foundation/Soup.h"
#include "foundation/TBuffer.h"
#include "foundation/TextSoup.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/Log.h"

namespace {

// Reads every tag back through the handle's converters.
void Walk(const Soup& soup, int depth) {
  for (uint32_t i = 0; i < soup.CountTags(); ++i) {
    const Kiv::PString name = soup.GetIndexedTagName(i);
    const Soup child = soup.GetIndexedSoup(i);
    if (!child.Empty() && depth < 64) Walk(child, depth + 1);
    (void)soup.GetNamedTag(name);
    (void)soup.GetNamedTagAsInt(name, 0);
    (void)soup.GetNamedTagAsKUID(name, KUID{});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    // Every refused text writes a log line; keep them out of the output.
    Kiv::Log::SetSink([](std::string_view) {});
    return true;
  }();
  (void)quiet;
  if (size > (1u << 20)) return 0;
  const uint32_t n = static_cast<uint32_t>(size);

  Kiv::DynamicBuffer bytes;
  bytes.Write(data, n);
  bytes.SetPosition(0);
  TBuffer stream(&bytes, false);
  Soup soup;
  const TextSoup::Result result = TextSoup::Parse(soup, stream, (size & 1) != 0);
  if (!result.Ok()) {
    if (!soup.Empty()) std::abort();
    return 0;
  }
  if (stream.Tell() > n) std::abort();
  Walk(soup, 0);

  TBuffer written;
  TextSoup::Write(written, soup);
  written.SeekTo(0);
  Soup again;
  if (TextSoup::Parse(again, written, false).Ok()) Walk(again, 0);
  return 0;
}
