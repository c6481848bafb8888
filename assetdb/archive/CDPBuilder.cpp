#include "assetdb/archive/CDPBuilder.h"

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPDependencies.h"
#include "assetdb/protocol/KUIDOrderedSet.h"
#include "foundation/soup/SoupKUIDReferences.h"

namespace CDP {

namespace {

uint32_t CountChildren(const Soup& soup) {
  return soup.IsNull() ? 0 : soup.GetChunk()->CountChildren();
}

void StoreTable(Soup& archive, const Kiv::PString& name, KUIDList& list) {
  Soup table = SetKUIDList(list);
  archive.RemoveNamedTag(name);
  archive.SetNamedSoup(name, table);
}

}  // namespace

void AddContent(Soup& archive, Kiv::PString& message, Soup& entry) {
  message.Release();
  const KUID kuid = GetEntryKUID(entry);
  if (kuid.IsNull()) {
    message = Kiv::PString("Unable to add content as it doesnt not contain a valid KUID");
    return;
  }
  if (FindAsset(archive, kuid) >= 0) {
    message = Kiv::PString(
        Kiv::StringPrintf("Unable to add content as an item with KUID %s is already present",
                          KUIDToTagString(kuid).c_str()));
    return;
  }
  Soup assets = archive.GetNamedSoup(Tag::Assets());
  assets.Create();
  assets.SetNamedSoup(KUIDToTagString(kuid), entry);
  archive.SetNamedSoup(Tag::Assets(), assets);
}

void RebuildTables(Soup& archive) {
  KUIDList contents;
  KUIDOrderedSet dependencies;
  KUIDOrderedSet obsoletes;
  const Soup assets = archive.GetNamedSoup(Tag::Assets());
  const uint32_t count = CountChildren(assets);
  for (uint32_t i = 0; i < count; ++i) {
    const Soup entry = assets.GetIndexedSoup(i);
    const KUID kuid = GetEntryKUID(entry);
    contents.Append(kuid);
    CollectDependencies(entry, kuid, dependencies);
    CollectObsoletes(entry, kuid, obsoletes);
  }
  for (const KUID& kuid : contents) dependencies.Erase(kuid);

  KUIDList dependencyList;
  dependencies.CopyTo(dependencyList);
  KUIDList obsoleteList;
  obsoletes.CopyTo(obsoleteList);
  StoreTable(archive, Tag::ContentsTable(), contents);
  StoreTable(archive, Tag::KUIDTable(), dependencyList);
  StoreTable(archive, Tag::ObsoleteTable(), obsoleteList);
  archive.SetNamedTag(Tag::Kind(), std::string_view("archive"));
  archive.SetNamedInt(Tag::PackageVersion(), 1);
}

bool TablesNeedRebuild(const Soup& archive) {
  return CountChildren(archive.GetNamedSoup(Tag::ContentsTable())) !=
         CountChildren(archive.GetNamedSoup(Tag::Assets()));
}

void WriteArchive(Soup& archive, Kiv::PString& message, const Kiv::String& path) {
  message.Release();
  if (TablesNeedRebuild(archive)) RebuildTables(archive);
  if (!Soup::SaveToFile(Kiv::PString(), path, archive)) {
    message = Kiv::PString("Unable to write archive file. Needs to be .cdp file extension");
  }
}

Soup MakeLZSSOptions() {
  Soup options;
  options.SetNamedTag(Tag::Compression(), std::string_view("LZSS"));
  return options;
}

}  // namespace CDP
