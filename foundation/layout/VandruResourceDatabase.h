// VandruResourceDatabase: an asset folder, or the ".ja" archive beside it,
// made visible to the engine's file layer under a name.
//
// Construction (name, folder): when a file named folder + ".ja" exists (the
// folder's trailing "/" dropped first, "\" turned to "/"), the database is
// an archive and the name becomes a file root for that archive path;
// otherwise the name becomes a file root for the folder (Kiv::File::Subst).
// Destruction removes the root again. A later database of the same name
// replaces the root, and destroying either removes it, so one name should
// have one database at a time (the registry in
// foundation/ResourceDatabaseRegistry.h sees to that).
//
// Archives: nothing in our engine layer reads ".ja" archives. The archive
// test is kept so that callers learn which form an asset has, but files
// opened under an archive's root are not found.
//
// A caller that has listed the folder's parent and found no entry named
// like the archive in any letter case passes `mayBeArchive` false, and the
// file system is not asked again.
//
// An empty name registers nothing. Nothing here fails or throws (beyond
// exhaustion of memory).
#pragma once

#include "kiv/File.h"
#include "kiv/PString.h"
#include "kiv/ResourceDatabase.h"

class VandruResourceDatabase : public Kiv::ResourceDatabase {
 public:
  VandruResourceDatabase(const Kiv::PString& name, const Kiv::File::Path& folder,
                         bool mayBeArchive = true);
  ~VandruResourceDatabase() override;

  bool IsArchive() const { return isArchive_; }

 private:
  bool isArchive_ = false;
};
