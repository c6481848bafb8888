#include "assetdb/archive/CDPArchive.h"

#include "assetdb/archive/CDPBuilder.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TStream.h"

namespace CDP {

namespace Tag {
#define CDP_TAG(function, text)           \
  const Kiv::PString& function() {        \
    static const Kiv::PString name(text); \
    return name;                          \
  }
CDP_TAG(Assets, "assets")
CDP_TAG(ContentsTable, "contents-table")
CDP_TAG(KUIDTable, "kuid-table")
CDP_TAG(ObsoleteTable, "obsolete-table")
CDP_TAG(Kind, "kind")
CDP_TAG(PackageVersion, "package-version")
CDP_TAG(Files, "files")
CDP_TAG(Compression, "compression")
CDP_TAG(DSID, "dsid")
CDP_TAG(FolderIcon, "folder-icon")
CDP_TAG(Cache, ".cache")
CDP_TAG(KUID, "kuid")
#undef CDP_TAG
}  // namespace Tag

namespace {

uint32_t CountChildren(const Soup& soup) {
  if (soup.IsNull()) return 0;
  return soup.GetChunk()->CountChildren();
}

void Refuse(Soup& archive, Kiv::PString& message, const char* text) {
  archive.Release();
  message = Kiv::PString(text);
}

}  // namespace

void OpenArchive(Soup& archive, Kiv::PString& message, const Kiv::String& path) {
  message.Release();
  archive.Release();
  Soup::LoadFromFile(Kiv::PString(), path, archive, false);
  if (!Kiv::EqualsIgnoreCase(archive.GetNamedTag(Tag::Kind()).View(), "archive")) {
    Refuse(archive, message, "Content could not be read, as the file is not a valid CDP");
    return;
  }
  const Soup assets = archive.GetNamedSoup(Tag::Assets());
  const Soup contents = archive.GetNamedSoup(Tag::ContentsTable());
  if (CountChildren(contents) != CountChildren(assets)) {
    Refuse(archive, message, "Content could not be read, as the CDP file is damaged");
    return;
  }
  if (archive.GetNamedTagAsInt(Tag::PackageVersion(), 0) != 1) {
    Refuse(archive, message, "This content requires a newer Vandru version");
  }
}

uint32_t GetAssetCount(const Soup& archive) {
  return CountChildren(archive.GetNamedSoup(Tag::Assets()));
}

std::string NoAssetError(const std::string& path) {
  return "Unable to install '" + path + "': the archive holds no asset.";
}

CDPEntry GetAssetAt(const Soup& archive, uint32_t index) {
  return CDPEntry{archive.GetNamedSoup(Tag::Assets()).GetIndexedSoup(index), false};
}

int32_t FindAsset(const Soup& archive, const KUID& kuid) {
  const Soup assets = archive.GetNamedSoup(Tag::Assets());
  const uint32_t count = CountChildren(assets);
  for (uint32_t i = 0; i < count; ++i) {
    if (GetEntryKUID(assets.GetIndexedSoup(i)) == kuid) return static_cast<int32_t>(i);
  }
  return -1;
}

bool ReadArchive(Soup& archive, TStream& stream) {
  return BinarySoup::Read(stream, archive);
}

bool WriteArchiveToStream(Soup& archive, TStream& stream) {
  if (TablesNeedRebuild(archive)) RebuildTables(archive);
  return BinarySoup::Write(stream, archive);
}

Soup GetFiles(const Soup& entry) {
  return entry.GetNamedSoup(Tag::Files());
}

Kiv::PString GetCompression(const Soup& entry) {
  return entry.GetNamedTag(Tag::Compression());
}

KUID GetEntryKUID(const Soup& entry) {
  return entry.GetNamedTagAsKUID(Tag::KUID(), kNullKUID);
}

bool HasValidKUID(const Soup& entry) {
  return !GetEntryKUID(entry).IsNull();
}

CoreRef GetTagData(const Soup& entry, const Kiv::PString& name) {
  return entry.GetNamedTagRawData(name);
}

}  // namespace CDP
