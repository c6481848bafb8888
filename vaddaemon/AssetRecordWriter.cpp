#include "vaddaemon/AssetRecordWriter.h"

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"
#include "vaddaemon/QueryHandlerSupport.h"
#include "vaddaemon/StoredAsset.h"

namespace {

void WriteUnknown(TStream& out) {
  WriteKUID(out, kNullKUID);
  for (int i = 0; i < 3; ++i) out.WriteString(Kiv::String());
  const StatusBytes status = DefaultStatusBytes();
  for (uint8_t byte : status) TStreamWriteU8(out, byte != 0 ? 1 : 0);
  TStreamWriteU32(out, 0);                          // number1
  out.WriteString(Kiv::String());                   // name1
  out.WriteString(Kiv::String());                   // text4
  TStreamWriteU32(out, static_cast<uint32_t>(-1));  // authorId
  out.WriteString(Kiv::String());                   // name2
  out.WriteString(Kiv::String());                   // category
  for (int i = 0; i < 3; ++i) TStreamWriteU8(out, 0);
  TStreamWriteU32(out, 0);
  TStreamWriteFloat(out, 0.0f);
  TStreamWriteU64(out, 0);
  TStreamWriteU64(out, 0);
  WriteKUID(out, kNullKUID);
  TStreamWriteU8(out, 0);  // flagE: unknown
}

}  // namespace

void WriteAssetRecord(TStream& out, const StoredAsset* asset, bool missingDependencies) {
  if (asset == nullptr) {
    WriteUnknown(out);
    return;
  }
  WriteKUID(out, asset->kuid);
  WriteReplyText(out, asset->name);
  WriteReplyText(out, asset->era);
  WriteReplyText(out, asset->keywords);
  for (uint32_t i = 0; i < kStatusByteCount; ++i) {
    const bool set = i == kStatusMissingDependencies ? missingDependencies : asset->status[i] != 0;
    TStreamWriteU8(out, set ? 1 : 0);
  }
  TStreamWriteU32(out, 0);
  out.WriteString(asset->Installed() ? Kiv::String("local") : Kiv::String());
  WriteReplyText(out, asset->region);
  TStreamWriteU32(out, static_cast<uint32_t>(asset->authorId));
  WriteReplyText(out, asset->kind);
  WriteReplyText(out, asset->category);
  TStreamWriteU8(out, asset->favourite ? 1 : 0);
  TStreamWriteU8(out, 0);
  TStreamWriteU8(out, 0);
  TStreamWriteU32(out, 0);
  TStreamWriteFloat(out, asset->build);
  TStreamWriteU64(out, static_cast<uint64_t>(asset->installedAt));
  TStreamWriteU64(out, 0);
  WriteKUID(out, asset->kuid2);
  TStreamWriteU8(out, 1);
}
