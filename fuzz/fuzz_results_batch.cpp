// Fuzzes the reader of the message batches that the asset-database daemon
// sends (ResultsLog::ReadMessages). Whatever the bytes, reading must end
// without a crash and keep no more records than the bytes can hold; what was
// read must write back as a batch that reads whole and gives the same
// messages, and must print one line per message and the summary.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

namespace {

// Every C0 byte but the line feed, and DEL.
constexpr char kControlBytes[] =
    "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0B\x0C\x0D\x0E\x0F\x10\x11\x12\x13\x14\x15"
    "\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F\x7F";

bool SameMessages(const std::vector<ResultMessage>& a, const std::vector<ResultMessage>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].severity != b[i].severity || a[i].text != b[i].text) return false;
    if (a[i].subject.IsNull() != b[i].subject.IsNull()) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const uint32_t n = static_cast<uint32_t>(size);
  Kiv::DynamicBuffer bytes;
  bytes.Write(data, n);
  bytes.SetPosition(0);
  TBuffer stream(&bytes, false);

  ResultsLog log;
  const bool whole = log.ReadMessages(stream);
  const std::vector<ResultMessage> read = log.Messages();
  // A record takes at least 12 bytes after the 8 of the header; a damaged
  // batch adds one report of its own.
  if (read.size() > n / 12 + 1) std::abort();
  if (!whole && stream.GetError() == TStream::kErrorNone) std::abort();
  if (log.GetErrorCount() > read.size()) std::abort();

  TBuffer again;
  log.WriteMessages(again, 0);
  if (again.GetError() != TStream::kErrorNone) std::abort();
  TStreamRewind(again);
  ResultsLog copy;
  if (!copy.ReadMessages(again)) std::abort();
  if (!SameMessages(read, copy.Messages())) std::abort();

  // Whatever the texts hold, each message prints as one line (and an empty
  // one after a text that ends with a line feed) and no other control byte.
  std::ostringstream printed;
  PrintCommandResults(log, printed);
  const std::string text = printed.str();
  size_t lines = read.size() + 1;
  for (const ResultMessage& m : read) lines += std::string_view(m.text.c_str()).ends_with('\n');
  if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) != lines) std::abort();
  if (text.find_first_of(kControlBytes, 0, sizeof kControlBytes - 1) != std::string::npos)
    std::abort();
  return 0;
}
