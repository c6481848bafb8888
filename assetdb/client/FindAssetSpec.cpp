#include "assetdb/client/FindAssetSpec.h"

#include <map>
#include <mutex>

#include "assetdb/client/AssetInfoQueries.h"
#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADFilterElementAssetID.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/HeldConfigText.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/SpecRegistry.h"
#include "kiv/File.h"

namespace {

struct Remembered {
  std::mutex lock;
  std::map<KUID, KUID, KUIDUnsignedLess> answers;
};

Remembered& TheRemembered() {
  static Remembered* remembered = new Remembered;  // Lives to the end of the process.
  return *remembered;
}

bool FindRemembered(const KUID& kuid, KUID& answer) {
  Remembered& r = TheRemembered();
  std::lock_guard<std::mutex> guard(r.lock);
  const auto found = r.answers.find(kuid);
  if (found == r.answers.end()) return false;
  answer = found->second;
  return true;
}

void Remember(const KUID& kuid, const KUID& answer) {
  Remembered& r = TheRemembered();
  std::lock_guard<std::mutex> guard(r.lock);
  r.answers[kuid] = answer;
}

// Request 0x1A; false when the daemon could not be asked.
bool ResolveKUID(const KUID& kuid, KUID& resolved) {
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  if (!request.Transact(VADRequestCode::kResolveKUID)) return false;
  resolved = ReadKUID(request.Reply());
  return true;
}

bool IsValidSpec(const BrindlemoxSpec& spec) {
  return (spec.flags & kSpecValid) != 0 && (spec.flags & kSpecNullKUID) == 0;
}

bool ReadConfig(const Kiv::String& folder, Soup& config) {
  if (HeldConfigText::LoadFolder(folder, config, true)) return true;
  for (const char* name : {"config.chump", "config.txt"}) {
    Kiv::File::Path path(folder);
    path.AddPath(name);
    if (!Kiv::File::Exists(path.Str())) continue;
    return Soup::LoadFromFile(Kiv::PString(), path.Str(), config, true);
  }
  return false;
}

// The folder named by the daemon as a path that can be opened; empty when
// it cannot be placed safely.
Kiv::String PlaceFolder(const Kiv::PString& location, const Kiv::String& folder) {
  if (Kiv::File::Path(folder).IsAbsolute()) return folder;
  Kiv::String placed;
  if (location.Empty() || !Kiv::File::ResolveRooted(location, folder, &placed))
    return Kiv::String();
  return placed;
}

bool IsSlash(char c) {
  return c == '/' || c == '\\';
}

void StripTrailingSlashes(Kiv::String& text) {
  while (text.size() > 1 && IsSlash(text.back())) text.pop_back();
}

// "a/b/c/" gives the parent "a/b" and the name "c".
void SplitFolder(Kiv::String folder, Kiv::String& parent, Kiv::String& name) {
  StripTrailingSlashes(folder);
  const size_t slash = folder.find_last_of("/\\");
  if (slash == Kiv::String::npos) {
    parent.clear();
    name = folder;
    return;
  }
  name = folder.substr(slash + 1);
  parent = folder.substr(0, slash == 0 ? 1 : slash);
  StripTrailingSlashes(parent);
}

}  // namespace

SpecRef LoadSpecFromPath(SpecRef& out, const KUID& kuid, const Kiv::String& folder,
                         SpecAcceptTest accept, bool skipValidation,
                         const Kiv::PString& contentSet) {
  out.Release();
  SpecRegistry* registry = SpecRegistry::Instance();
  if (!registry || folder.empty()) return out;
  Soup config;
  if (!ReadConfig(folder, config) || config.CountTags() == 0) return out;
  Kiv::String parent;
  Kiv::String folderName;
  SplitFolder(folder, parent, folderName);
  registry->CreateSpec(out, kuid, contentSet, config, parent, folderName);
  if (!out) return out;
  if (accept && !accept(*out)) {
    out.Release();
    return out;
  }
  if (skipValidation) return out;
  registry->Discard(out.Get());
  if (!IsValidSpec(*out)) out.Release();
  return out;
}

SpecRef GetSpecForKUID(SpecRef& out, const KUID& kuid, SpecAcceptTest accept) {
  out.Release();
  // One that a request cannot carry would reach the daemon as another
  // asset's KUID: it names no installed asset.
  if (kuid.IsNull() || !KUIDReadsBack(kuid)) return out;
  KUID resolved = kuid;
  if (FindRemembered(kuid, resolved)) {
    if (resolved.IsNull()) return out;
  } else if (!ResolveKUID(kuid, resolved)) {
    return out;  // The daemon cannot be reached: nothing is remembered.
  }
  SpecRegistry* registry = SpecRegistry::Instance();
  if (!registry) return out;
  SpecRef found = registry->Find(resolved);
  if (found) {
    if (accept && !accept(*found)) {
      Remember(kuid, resolved);
      return out;
    }
    registry->Discard(found.Get());
    if (!IsValidSpec(*found)) {
      Remember(kuid, kNullKUID);
      return out;
    }
    Remember(kuid, resolved);
    out = found;
    return out;
  }
  Kiv::PString location;
  Kiv::String folder;
  if (!VADClientRequests::Request17(resolved, false, location, folder)) return out;
  if (folder.empty()) {
    Remember(kuid, kNullKUID);
    return out;
  }
  const Kiv::String placed = PlaceFolder(location, folder);
  if (placed.empty()) return out;
  LoadSpecFromPath(out, resolved, placed, accept, false, location);
  if (out) Remember(kuid, resolved);
  return out;
}

void ForgetRememberedSpecAnswers() {
  Remembered& r = TheRemembered();
  std::lock_guard<std::mutex> guard(r.lock);
  r.answers.clear();
}

Kiv::String VADSpecAssetSource::GetAssetName(const KUID& asset) {
  return GetAssetInfoField(asset);
}

namespace {

VADSpecAssetSource& TheSource() {
  static VADSpecAssetSource* source = new VADSpecAssetSource;  // Lives to the end of the process.
  return *source;
}

}  // namespace

void InstallVADSpecAssetSource() {
  SetSpecAssetSource(&TheSource());
}

void RemoveVADSpecAssetSource() {
  if (GetSpecAssetSource() == &TheSource()) SetSpecAssetSource(nullptr);
}
