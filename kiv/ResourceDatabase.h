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
// Resources: Get(name, mode) finds the file of a resource and makes the
// resource (kiv/store/Resource.h) through the type registered for the
// file's extension (kiv/store/ResourceType.h). The name is a path below the
// database's root ("\" counts as "/"; a rooted name or one that climbs out
// with ".." is refused); a database with an empty name stands for the plain
// file system and takes the name as a path. The file is the name itself
// when such a file exists, else the name with ".txt" added (the text form
// of the resource); each is looked up without regard to case when its exact
// case is missing (kiv/File.h). Every Get makes a new resource and hands the
// caller one reference. `mode` is accepted for the callers' sake; loads are
// always synchronous (on Lock). Null when no file or no type is found.
//
// A database is not copied and must outlive the resources it made. Nothing
// here throws; Get is thread-safe.
#pragma once

#include <cstdint>

#include "kiv/PString.h"

namespace Kiv {

class Resource;

class ResourceDatabase {
 public:
  explicit ResourceDatabase(const PString& name);
  virtual ~ResourceDatabase();
  ResourceDatabase(const ResourceDatabase&) = delete;
  ResourceDatabase& operator=(const ResourceDatabase&) = delete;

  const PString& GetName() const { return name_; }

  Resource* Get(const PString& name, uint32_t mode);

 private:
  PString name_;
};

}  // namespace Kiv
