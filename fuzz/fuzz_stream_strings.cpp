// Fuzzes the stream readers of untrusted bytes: length-prefixed strings,
// typed values and KUIDs, read in an order the input chooses, over a memory
// buffer and over a window of it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TSubFile.h"
#include "foundation/text/KUID.h"
#include "kiv/DynamicBuffer.h"

namespace {

// `bound` is the furthest the stream may stand: a skip past the data of a
// memory buffer stops at the end of its allocation, one in a window at the
// window's end.
void ReadAll(TStream& s, uint32_t bound) {
  // Every step consumes at least one selector byte, so this ends.
  for (int step = 0; step < 4096 && !s.IsEOF(); ++step) {
    uint8_t op = 0;
    if (TStreamReadBytes(s, &op, 1) != 1) return;
    switch (op % 8) {
      case 0: {
        Kiv::PString p;
        s.ReadPString(p);
        break;
      }
      case 1: {
        Kiv::String t;
        s.ReadString(t);
        if (t.size() > 65535) std::abort();
        break;
      }
      case 2: {
        uint32_t v;
        TStreamReadU32(s, v, 0);
        break;
      }
      case 3: {
        KUID k;
        s >> k;
        break;
      }
      case 4: {
        uint64_t v;
        TStreamReadU64(s, v, 0);
        break;
      }
      case 5: {
        bool b;
        TStreamReadBool(s, b, false);
        break;
      }
      case 6: {
        uint8_t back = 0;
        TStreamReadBytes(s, &back, 1);
        uint32_t here = s.Tell();
        s.SeekTo(here > back ? here - back : 0);
        break;
      }
      default: {
        uint8_t raw[64];
        TStreamReadBytes(s, raw, op % 64);
        break;
      }
    }
    if (s.Tell() > bound) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const uint32_t n = static_cast<uint32_t>(size);
  {
    Kiv::DynamicBuffer bytes;
    bytes.Write(data, n);
    bytes.SetPosition(0);
    TBuffer stream(&bytes, false);
    ReadAll(stream, bytes.AllocatedSize());
  }
  if (n >= 8) {
    Kiv::DynamicBuffer bytes;
    bytes.Write(data, n);
    bytes.SetPosition(0);
    TBuffer parent(&bytes, false);
    const uint32_t start = data[0] % (n / 2);
    const uint32_t end = start + (n - start) / 2;
    parent.SeekTo(start);
    TSubFile window(parent, start, end);
    ReadAll(window, end - start);
  }
  return 0;
}
