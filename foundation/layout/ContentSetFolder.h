// The shared folder of a content set, as a counted handle.
//
// AcquireContentSetFolder(name, &found) answers a handle to the resource
// database (foundation/ResourceDatabaseRegistry.h) registered under the
// content set's name, with one use taken. The folder given to the registry
// on first use is the installation root followed by "Base" for the set
// "base", by "Data" for the set "data", and else the folder that the folder
// layout gives the set's name (GetContentFolderPath: the user-data root for
// "editing", "local" and the other user-data locations, the installation
// root for every other name). The file layer finds "Base" or "Data" in
// another letter case when the exact one is missing.
//
// `found`: an empty name gives no entry and found = true (an asset outside
// any content set needs no folder). Otherwise found tells whether an entry
// was had; a name that would lead out of its root (rooted, or climbing with
// ".."), an unset installation root or a full registry give none.
//
// ContentSetFolder holds one use of its database: copying adds one
// (AddTrackedRef), destruction or Release gives it back (ReleaseTrackedRef).
// The database itself stays in the registry until it is swept. Copies may
// live on any thread (the registry locks itself); one handle is not
// thread-safe.
#pragma once

#include <utility>

#include "foundation/layout/VandruResourceDatabase.h"
#include "kiv/PString.h"

class ContentSetFolder {
 public:
  ContentSetFolder() = default;
  // Takes over one use of `database` that the caller already holds.
  static ContentSetFolder Adopt(VandruResourceDatabase* database);

  ContentSetFolder(const ContentSetFolder& other);
  ContentSetFolder(ContentSetFolder&& other) noexcept
      : database_(std::exchange(other.database_, nullptr)) {}
  ContentSetFolder& operator=(const ContentSetFolder& other);
  ContentSetFolder& operator=(ContentSetFolder&& other) noexcept;
  ~ContentSetFolder() { Release(); }

  // Gives the use back; the handle becomes empty.
  void Release();
  VandruResourceDatabase* Get() const { return database_; }
  explicit operator bool() const { return database_ != nullptr; }

 private:
  VandruResourceDatabase* database_ = nullptr;
};

ContentSetFolder AcquireContentSetFolder(const Kiv::PString& contentSet, bool* found);
