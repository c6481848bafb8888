// Resource databases: named file roots of the engine.
//
// A Kiv::ResourceDatabase stands for one source of engine files under a
// name. It only keeps its name (an interned string, one use held for the
// object's lifetime); the root itself is registered by whoever makes the
// database, with Kiv::File::Subst (kiv/File.h), and removed by it again.
// Derived classes choose the folder (or archive) the name stands for.
//
// Archives: nothing in this engine layer reads ".ja" archives. A root that
// names an archive file resolves names to paths below that file, which do
// not exist, so opening them fails cleanly.
//
// A database is not copied. Nothing here throws or fails.
#pragma once

#include "kiv/PString.h"

namespace Kiv {

class ResourceDatabase {
 public:
  explicit ResourceDatabase(const PString& name);
  virtual ~ResourceDatabase();
  ResourceDatabase(const ResourceDatabase&) = delete;
  ResourceDatabase& operator=(const ResourceDatabase&) = delete;

  const PString& GetName() const { return name_; }

 private:
  PString name_;
};

}  // namespace Kiv
