#include "cli/ImportConsists.h"

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "assetdb/client/AssetInfoQueries.h"
#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADFilterElementAssetID.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "cli/CommandArgs.h"
#include "cli/StartDirectoryScope.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/PString.h"
#include "kiv/String.h"

namespace {

// The outcome of one train.
enum class TrainResult { kSkipped, kCreated, kFailed };

Kiv::PString Numbered(const char* format, uint32_t number) {
  char name[32];
  std::snprintf(name, sizeof(name), format, number);
  return Kiv::PString(name);
}

// Installed, listable consists that are not obsolete.
std::unique_ptr<VADFilterElementGroup> ConsistFilter() {
  auto filter = std::make_unique<VADFilterElementGroup>();
  filter->Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kCategoryList,
                                                       Kiv::PString("CN")));
  filter->Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocal));
  filter->Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocallyAvailable));
  filter->Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kListingPrivilege));
  auto notObsolete = std::make_unique<VADFilterElementGroup>();
  notObsolete->SetNegate(true);
  notObsolete->Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kObsolete));
  filter->Add(std::move(notObsolete));
  return filter;
}

bool ConsistNamed(const Kiv::PString& name) {
  const std::unique_ptr<VADFilterElementGroup> filter = ConsistFilter();
  KUIDList found;
  VADClient::SearchAssets(filter.get(), found);
  for (const KUID& kuid : found) {
    if (GetAssetInfoField(kuid) == name.Str()) return true;
  }
  return false;
}

// Writes "kind", "username", "vandru-build", "consist-list" and
// "kuid-table" into `config`. Car KUIDs are read and written as a
// configuration keeps them (SoupKUIDReferences.h), so that one a KUID tag
// cannot keep stays its text and never names another asset.
void FillConsistConfig(Soup& config, const Kiv::PString& name, const Soup& cars) {
  config.SetNamedTag(Kiv::PString("kind"), std::string_view("consist"));
  config.SetNamedTag(Kiv::PString("username"), name);
  config.SetNamedFloat(Kiv::PString("vandru-build"), 3.1f);

  Soup consistList;
  consistList.Create();
  std::set<KUID, KUIDUnsignedLess> kuids;
  for (uint32_t i = 0; cars.HasNamedTag(Numbered("car-%u", i)); ++i) {
    const KUID kuid = GetNamedKUIDAsWritten(cars, Numbered("car-%u", i));
    Soup car;
    car.Create();
    SetKUIDTableEntry(car, Kiv::PString("car-kuid"), kuid);
    car.SetNamedInt(Kiv::PString("car-num"), cars.GetNamedTagAsInt(Numbered("num-%u", i), 0));
    car.SetNamedBool(Kiv::PString("car-dir"), cars.GetNamedTagAsBool(Numbered("dir-%u", i), false));
    consistList.SetNamedSoup(Numbered("car-%u", i), car);
    kuids.insert(kuid);
  }
  config.SetNamedSoup(Kiv::PString("consist-list"), consistList);

  Soup table;
  table.Create();
  uint32_t index = 0;
  for (const KUID& kuid : kuids) SetKUIDTableEntry(table, Numbered("%u", index++), kuid);
  config.SetNamedSoup(Kiv::PString("kuid-table"), table);
}

// Where the new asset's "config.txt" is read and written. The daemon names
// the edit folder by its content location and full path; the file is
// reached through the location (the path below the location's folder) when
// the tool knows that location and the folder lies inside it, and by the
// full path otherwise. A folder that is neither inside the location nor an
// absolute path would resolve against the working directory: false.
bool ConfigFilePlace(const Kiv::PString& location, const Kiv::File::Path& folder,
                     Kiv::PString* fileLocation, Kiv::String* path) {
  const Kiv::String full = folder.Str();
  Kiv::String root;
  if (Kiv::File::LookupRoot(location, &root) && !root.empty()) {
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (full.size() > root.size() + 1 && full.compare(0, root.size(), root) == 0 &&
        full[root.size()] == '/') {
      *fileLocation = location;
      *path = full.substr(root.size() + 1) + "/config.txt";
      return true;
    }
  }
  if (full.empty() || full.front() != '/') return false;
  *fileLocation = Kiv::PString();
  *path = full + "/config.txt";
  return true;
}

TrainResult CreateConsist(ResultsLog& log, const Kiv::PString& name, const Soup& cars) {
  VADAssetHandleRef ref;
  VADClient::Request23(KUID(), true, Kiv::String(), ref);
  Kiv::PString location;
  Kiv::File::Path folder;
  Kiv::PString fileLocation;
  Kiv::String path;
  if (!ref.Valid() || !VADClient::OpenForEdit(ref.handle, location, folder) ||
      !ConfigFilePlace(location, folder, &fileLocation, &path)) {
    // Nothing is written: without the daemon's location and folder the
    // configuration would land beside the working directory.
    ReleaseAssetHandle(ref);
    AddCommandError(log,
                    "Unable to create the consist asset for the train \"" + name.Str() + "\".");
    return TrainResult::kFailed;
  }
  Soup config;
  Soup::LoadFromFile(fileLocation, path, config, false);
  // A configuration names its own asset: the daemon's new edit folder is
  // empty, so the reserved KUID is written first.
  const Kiv::PString kuidTag("kuid");
  if (config.GetNamedTagAsKUID(kuidTag, KUID()).IsNull())
    config.SetNamedKUID(kuidTag, ref.handle->kuid);
  FillConsistConfig(config, name, cars);
  if (!Soup::SaveToFile(fileLocation, path, config)) {
    AddCommandError(
        log, "Unable to write the consist configuration for the train \"" + name.Str() + "\".");
    VADClient::RevertAsset(ref, &log);
    return TrainResult::kFailed;
  }
  bool replaced = false;
  VADClient::CommitAsset(ref, 0, &log, &replaced);
  ReleaseAssetHandle(ref);
  return TrainResult::kCreated;
}

TrainResult ImportTrain(ResultsLog& log, const Soup& train) {
  const Kiv::PString nameTag("name");
  const Kiv::PString listTag("list");
  if (!train.HasNamedTag(nameTag) || !train.HasNamedTag(listTag)) return TrainResult::kSkipped;
  const Kiv::PString name = train.GetNamedTag(nameTag);
  if (ConsistNamed(name)) return TrainResult::kSkipped;
  return CreateConsist(log, name, train.GetNamedSoup(listTag));
}

}  // namespace

int32_t ImportConsistsCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  const StartDirectoryScope scope;
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing input path parameter.");
    return kCommandFailed;
  }
  Soup list;
  if (!Soup::LoadFromFile(Kiv::PString(), ArgumentPath(argc, argv, 2).Str(), list, false) ||
      list.IsNull()) {
    AddCommandError(log, "Invalid input path.");
    return kCommandFailed;
  }
  uint32_t created = 0;
  uint32_t failed = 0;
  for (uint32_t t = 0; list.HasNamedTag(Numbered("train-%u", t)); ++t) {
    const TrainResult result = ImportTrain(log, list.GetNamedSoup(Numbered("train-%u", t)));
    if (result == TrainResult::kCreated) ++created;
    if (result == TrainResult::kFailed) ++failed;
  }
  return (failed > 0 && created == 0) ? kCommandFailed : kCommandSucceeded;
}
