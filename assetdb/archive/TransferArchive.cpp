#include "assetdb/archive/TransferArchive.h"

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/protocol/InstallOptions.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/stream/TSubFile.h"

namespace {

constexpr uint32_t kKUIDBytes = 8;
// KUID and next-record offset.
constexpr uint32_t kRecordHeaderBytes = kKUIDBytes + 4;

void LogHeaderError(ResultsLog* log, const char* tag, const Soup* parameters) {
  if (log) log->AddResult(ResultsLog::kError, PropertyRef(), GetInterfaceText(tag), parameters);
}

// Reads the header; false (logged) when the file is not this job's archive.
bool ReadHeader(TStream& file, uint32_t token, uint32_t fileSize, uint32_t& options,
                ResultsLog* log) {
  uint32_t magic = 0;
  uint32_t version = 0;
  const bool whole = TStreamReadU32(file, magic, 0) && TStreamReadU32(file, version, 0);
  if (!whole || version > 1) {
    LogTransferArchiveVersion(log, whole ? static_cast<int32_t>(version) : -1);
    return false;
  }
  options = kInstallBinaryConfig;
  if (version == 1) {
    float build = 0;
    TStreamReadFloat(file, build, 0);
    // The build reads as 3.40 when its hundredths truncate to 340; compared
    // as a float, so that a damaged value (huge, infinite, not a number) is
    // simply another build.
    const float hundredths = build * 100.0f + 0.1f;
    if (hundredths >= 340.0f && hundredths < 341.0f)
      options = kInstallBinaryConfig | kInstallCommitFlag8;
  }
  uint32_t size = 0;
  uint32_t fileToken = 0;
  const bool fields = TStreamReadU32(file, size, 0) && TStreamReadU32(file, fileToken, 0);
  if (!fields || magic != kTransferArchiveMagic || size != fileSize || fileToken != token) {
    LogHeaderError(log, "$vad_archive_unreadable", nullptr);
    return false;
  }
  return true;
}

// Hands the record's entry to `take` when `wants` takes its KUID and the
// entry reads whole inside its record and names that KUID.
void TakeRecord(TStream& file, const KUID& kuid, uint32_t nextRecord, uint32_t options,
                const TransferRecordWanted& wants, const TransferRecordTaker& take) {
  if (!wants(kuid)) return;
  // The entry is read through a window that ends at the next record, so a
  // damaged entry cannot reach into the records after it.
  Soup entry;
  TSubFile record(file, file.Tell(), nextRecord);
  if (!BinarySoup::Read(record, entry)) return;
  if (entry.GetNamedTagAsKUID(CDP::Tag::KUID(), kNullKUID) != kuid) return;
  take(kuid, entry, options);
}

}  // namespace

void LogTransferArchiveVersion(ResultsLog* log, int32_t version) {
  Soup parameters;
  parameters.Create();
  parameters.SetNamedTag(Kiv::PString("version"), Kiv::StringPrintf("%d", version));
  LogHeaderError(log, "$vad_archive_version", &parameters);
}

bool ReadTransferArchive(TStream& file, uint32_t token, ResultsLog* log,
                         const TransferRecordWanted& wants, const TransferRecordTaker& take) {
  const uint32_t fileSize = file.GetSize();
  uint32_t options = 0;
  if (!ReadHeader(file, token, fileSize, options, log)) return false;
  for (;;) {
    const uint32_t recordStart = file.Tell();
    if (fileSize - recordStart < kKUIDBytes) return true;  // A short KUID ends the list.
    const KUID kuid = ReadKUID(file);
    if (kuid.IsNull()) return true;
    uint32_t nextRecord = 0;
    TStreamReadU32(file, nextRecord, 0);
    // Each record must move forward and stay inside the file, so a damaged
    // offset can neither loop nor seek outside the archive.
    if (uint64_t(nextRecord) <= uint64_t(recordStart) + kRecordHeaderBytes ||
        nextRecord > fileSize) {
      LogHeaderError(log, "$vad_archive_unreadable", nullptr);
      return false;
    }
    TakeRecord(file, kuid, nextRecord, options, wants, take);
    file.SeekTo(nextRecord);
    if (file.Tell() != nextRecord) {
      LogHeaderError(log, "$vad_archive_unreadable", nullptr);
      return false;
    }
  }
}
