// Fuzzes the KUID text parser with arbitrary text, in both modes, and checks
// that whatever parses is valid and prints back to the same KUID.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/text/KUID.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  for (bool strict : {false, true}) {
    KUID k = ParseKUID(text.c_str(), strict);
    if (k.IsNull()) continue;
    if (!k.IsValid()) std::abort();
    // The tag form of a parsed KUID parses back to it (non-strict accepts
    // every tag form; strict refuses negative content ids by design).
    KUID again = ParseKUID(KUIDToTagString(k).c_str(), false);
    if (!(again == k)) std::abort();
    (void)KUIDToShortString(k);
    (void)KUIDToKeywordString(k);
  }
  return 0;
}
