// Fuzzes the reader of the transfer archive ("crak") that the command host
// and the daemon pass entries in. The input is the whole file, read from
// memory with the token every seed carries; every record is wanted. Each
// entry handed on must name its record's KUID, records cannot outnumber
// their headers' bytes, and nothing may crash, hang or read outside the
// input.
#include <cstdint>
#include <cstdlib>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/TransferArchive.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

namespace {

constexpr uint32_t kToken = 0x5A5A5546;  // 'FUZZ' on the wire
constexpr uint32_t kRecordHeaderBytes = 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  Kiv::DynamicBuffer bytes;
  if (size != 0) bytes.Write(data, static_cast<uint32_t>(size));
  bytes.SetPosition(0);
  TBuffer file(&bytes, false);
  ResultsLog log;
  size_t taken = 0;
  const auto wants = [](const KUID&) { return true; };
  const auto take = [&taken](const KUID& kuid, Soup& entry, uint32_t) {
    if (CDP::GetEntryKUID(entry) != kuid) std::abort();
    ++taken;
  };
  const bool read = ReadTransferArchive(file, kToken, &log, wants, take);
  if (taken > size / kRecordHeaderBytes) std::abort();
  if (!read && log.GetErrorCount() == 0) std::abort();
  return 0;
}
