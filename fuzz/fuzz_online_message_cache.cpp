// Fuzzes the reader of the offline message cache file ("oa_messages.dat"),
// and checks that whatever it reads writes back and reads again the same.
#include <cstdint>
#include <cstdlib>

#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/online/OnlineMessageCache.h"
#include "kiv/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    Kiv::Log::SetSink([](std::string_view) {});
    return true;
  }();
  (void)quiet;
  TBuffer input;
  input.Write(data, static_cast<uint32_t>(size));
  TStreamRewind(input);
  OnlineMessageCache::MessageList read;
  OnlineMessageCache::Read(input, read);
  if (read.size() > OnlineMessageCache::kMaxMessages) std::abort();
  TBuffer output;
  OnlineMessageCache::Write(output, read);
  TStreamRewind(output);
  OnlineMessageCache::MessageList again;
  if (OnlineMessageCache::Read(output, again) != OnlineMessageCache::ReadResult::kLoaded ||
      again.size() != read.size()) {
    std::abort();
  }
  return 0;
}
