// GSOAsset: the native side of the script class "Asset" (asset.gsl), one
// installed asset seen by the scripts of one context. Nearly every native is
// one request to the asset-database daemon; the information record (0x15)
// and the configuration (0x14) are fetched once and kept.
//
// Objects are made only by Create, which keeps one object per asset in each
// context and follows the daemon's redirection of a KUID:
//   1. the null KUID gives none, and so does, without asking the daemon, a
//      KUID that requests cannot carry as it is (KUIDReadsBack fails: a
//      user id beyond -16777216..16777215), which would reach the daemon
//      as another asset's KUID: no such asset is installed;
//   2. a KUID the redirect table holds is replaced by its entry (a null
//      entry gives none);
//   3. the context's map answers an object it holds (one count added);
//   4. otherwise the daemon resolves the KUID (0x1A); an answer that
//      differs enters the redirect table under the KUID (a null one too,
//      which gives none), and the map is asked again for the answer;
//   5. a VandruScriptContext is asked whether it admits the KUID (other
//      contexts admit every asset);
//   6. a new object enters the context's map, which keeps its first count,
//      and gains one more for the caller.
// So asking twice for an asset, or once for it and once for a KUID
// redirected to it, gives one object and sends one 0x1A. The map's count
// keeps every object alive until ReleaseContextObjects(context) lets it go
// (the script context's teardown calls it; it also empties the redirect
// table). An object destroyed otherwise (its context's pool torn down)
// leaves the map itself, so no context leaves entries behind.
//
// How the information record (assetdb/protocol/AssetRecord.h) answers the
// natives, as the daemon fills it (vaddaemon/AssetRecordWriter.h):
//   GetLocalisedName      `username`, the display name
//   GetCategoryEra        `text2`, "category-era"
//   GetCategoryRegion     `text4`, "category-region"
//   GetCreatorName        the user name of `authorId` (the user-name lookup,
//                         request 0x5A, kept per process); the record's two
//                         interned names carry the location and the kind
//   IsOnTheFetchery       status bit 0x40 (the first flag byte's bit 6)
//   GetIsFavorite         `byte1` (0xFF when unset) is 4 or 5, or `flags2`
//                         bit 0 (the daemon's favourite mark) is set
//   build presence        `flagE` (the daemon knows the asset); the value
//                         is `build`
//   GetParent             `kuid2`
// The record is kept only when its request succeeded, so a failed fetch is
// asked again by the next reading rather than cached as an empty record;
// SetIsFavorite (0x32, one-way) drops it.
//
// LookupKUIDTable and FindAsset read a "kuid-table" entry as written
// (GetNamedKUIDAsWritten): text naming a KUID that a KUID tag cannot keep
// gives that KUID, and FindAsset of it none (step 1 above).
//
// Refusals stop the thread: "null string at parameter 1" and "empty string
// at parameter 1" for names; LookupKUIDTable and FindAsset of a name that
// "kuid-table" lacks ("Asset.LookupKUIDTable> unable to find '<name>' in
// kuid-table\nAvailable kuids are: \"a\" \"b\" ", "Asset.FindKUID> ..." for
// FindAsset); LoadImage of a name that is not a plain file name of the
// asset's folder ("Asset.LoadImage> '<name>' is not a file of the asset's
// folder"). Failed daemon requests do not stop anything: the natives give
// what the record holds, IsBuiltIn false and IsLocallyModified true.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstddef>

#include "assetdb/protocol/AssetRecord.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/SpecRef.h"
#include "foundation/text/KUID.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSStack.h"

class GSOAsset : public GSRuntime::GSObject {
 public:
  ~GSOAsset() override;

  // The asset's object with one count for the caller, or null (see above).
  static GSOAsset* Create(GSRuntime::GSContext* context, const KUID& kuid);
  // Pushes Create's object for the caller (null when none).
  static void Push(GSRuntime::GSStack& stack, GSRuntime::GSContext* context, const KUID& kuid);
  // Lets go of every asset object of `context` and empties the redirect
  // table.
  static void ReleaseContextObjects(GSRuntime::GSContext* context);
  // Asset objects listed for `context`, and redirect entries, for tests.
  static size_t CountObjects(const GSRuntime::GSContext* context);
  static size_t CountRedirects();

  const KUID& GetAssetKUID() const { return kuid_; }

  void GetKUID(GSRuntime::GSStack& stack);
  void GetLocalisedName(GSRuntime::GSStack& stack);
  void GetLocalisedDescription(GSRuntime::GSStack& stack);
  void GetCreatorName(GSRuntime::GSStack& stack);
  void LookupKUIDTable(GSRuntime::GSStack& stack);
  void FindAsset(GSRuntime::GSStack& stack);
  void GetStringTable(GSRuntime::GSStack& stack);
  void GetConfigSoup(GSRuntime::GSStack& stack);
  void GetDependencyList(GSRuntime::GSStack& stack);
  void SupportsVandruBuildVersion(GSRuntime::GSStack& stack);
  void LoadImage(GSRuntime::GSStack& stack);
  void IsLocallyModified(GSRuntime::GSStack& stack);
  void GetInfoURL(GSRuntime::GSStack& stack);
  void GetIsFavorite(GSRuntime::GSStack& stack);
  void SetIsFavorite(GSRuntime::GSStack& stack);
  void GetParent(GSRuntime::GSStack& stack);
  void GetCategoryEra(GSRuntime::GSStack& stack);
  void GetCategoryRegion(GSRuntime::GSStack& stack);
  void GetSessionRuleData(GSRuntime::GSStack& stack);
  void IsBuiltIn(GSRuntime::GSStack& stack);
  void IsOnTheFetchery(GSRuntime::GSStack& stack);

 private:
  explicit GSOAsset(const KUID& kuid) : kuid_(kuid) {}

  const AssetRecord& Info();
  const Soup& Config();
  // The KUID that kuid-table maps the name argument to; false (the thread
  // stopped) when the argument is refused or the name is missing.
  bool TableKUID(GSRuntime::GSStack& stack, const char* operation, KUID& out);

  SpecRef spec_;
  bool specAsked_ = false;
  KUID kuid_;
  bool infoLoaded_ = false;
  AssetRecord info_;
  uint32_t lastUsed_ = 0;
  Soup config_;
  GSRuntime::GSValue stringTable_ = 0;  // one count kept while set
  bool listed_ = false;
};

void RegisterAssetNatives(GSMachine& machine);

extern GSRuntime::GSClass* gAssetScriptClass;
