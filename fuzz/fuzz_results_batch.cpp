// Fuzzes the reader of the message batches that the asset-database daemon
// sends (ResultsLog::ReadMessages). Whatever the bytes, reading must end
// without a crash and keep no more records than the bytes can hold; what was
// read must write back as a batch that reads whole and gives the same
// messages, and must print one line per message and the summary.
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

  // Whatever the texts hold, each message prints as one line and no other
  // control byte is printed.
  std::ostringstream printed;
  PrintCommandResults(log, printed);
  const std::string text = printed.str();
  size_t lines = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n')
      ++lines;
    else if (byte < 0x20 || byte == 0x7F)
      std::abort();
  }
  size_t expected = read.size() + 1;  // and an empty line after a text that ends one
  for (const ResultMessage& message : read) {
    const std::string_view shown(message.text.c_str());
    if (!shown.empty() && shown.back() == '\n') ++expected;
  }
  if (lines != expected) std::abort();
  return 0;
}
