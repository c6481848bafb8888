#include "assetdb/client/TransferArchiveClient.h"

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/TransferArchive.h"
#include "assetdb/client/AssetInstall.h"
#include "assetdb/client/InstallAssetWithPrompts.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TFile.h"
#include "foundation/stream/TStreamTyped.h"

bool WriteArchiveRecords(const KUIDList& kuids, TStream& out, ResultsLog* log) {
  bool all = true;
  // Walking the list does not change it; the list type has no const walk.
  auto& list = const_cast<KUIDList&>(kuids);
  for (const KUID& kuid : list) {
    Soup entry;
    CreateCDP(entry, kuid, log, 0);
    if (entry.GetNamedTagAsKUID(CDP::Tag::KUID(), kNullKUID).IsNull()) {
      all = false;
      continue;
    }
    WriteKUID(out, kuid);
    const uint32_t marker = out.WriteMarker();
    if (!BinarySoup::Write(out, entry)) all = false;
    out.PatchU32(marker, out.Tell());
  }
  WriteKUID(out, kNullKUID);
  return all;
}

bool WriteTransferArchive(uint32_t token, const Kiv::String& path, const KUIDList& kuids,
                          ResultsLog* log, bool* written) {
  if (written) *written = false;
  TFile file;
  if (!file.Open(path, Kiv::File::kCreate | Kiv::File::kWriteMask | Kiv::File::kRegularOnly))
    return false;
  TStreamWriteU32(file, kTransferArchiveMagic);
  TStreamWriteU32(file, 1);
  TStreamWriteFloat(file, kTransferArchiveBuild);
  const uint32_t sizeAt = file.WriteMarker();
  TStreamWriteU32(file, token);
  const bool all = WriteArchiveRecords(kuids, file, log);
  file.PatchU32(sizeAt, file.Tell());
  const bool whole = file.GetError() == TStream::kErrorNone;
  file.Close();
  if (written) *written = whole;
  return all && whole;
}

bool InstallFromArchiveFile(uint32_t token, KUIDList& wanted, const Kiv::String& path,
                            ResultsLog* log) {
  TFile file;
  if (!file.Open(path, Kiv::File::kRead | Kiv::File::kRegularOnly)) {
    LogTransferArchiveVersion(log, -1);
    return false;
  }
  const auto wants = [&wanted](const KUID& kuid) { return wanted.Find(kuid) != wanted.End(); };
  const auto install = [&wanted, log](const KUID& kuid, Soup& entry, uint32_t options) {
    bool commitFlag = false;
    if (InstallAssetWithPrompts(entry, log, options, &commitFlag, nullptr).IsNull()) return;
    auto it = wanted.Find(kuid);
    if (it != wanted.End()) wanted.Erase(it);
  };
  return ReadTransferArchive(file, token, log, wants, install);
}
