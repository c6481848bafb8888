// Kiv::Resource: the base of every file the engine loads by name.
//
// A resource is made by its resource type (kiv/store/ResourceType.h) for a
// file that a resource database found (ResourceDatabase::Get), and is
// shared by counting (Kiv::ReferenceCount: Get hands out one reference;
// ReleaseReference drops it, the last one deletes the resource).
//
// Loading: the first Lock loads the file, through LoadTxt when its name
// ends in ".txt" (the text form) and through Load otherwise, then runs
// LoadComplete. Both get the file's path. A non-zero result of either is
// Lock's answer and leaves the resource unlocked, so the next Lock tries
// again; 0 means loaded and locked. Each successful Lock is matched by one
// Unlock; the last Unlock calls Unload. Derived types override the loaders
// (the defaults refuse with 1, and LoadComplete answers 0).
//
// Threads: Lock and Unlock are serialised by the resource's own lock, and
// the loaders run under it. Results: 0 success, other values are the
// loader's failure codes.
#pragma once

#include <cstdint>
#include <mutex>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/String.h"

namespace Kiv {

class ResourceDatabase;

class Resource : public ReferenceCount {
 public:
  Resource(const PString& name, ResourceDatabase* database);
  ~Resource() override;
  Resource(const Resource&) = delete;
  Resource& operator=(const Resource&) = delete;

  uint32_t Lock();
  void Unlock();
  bool IsLocked() const;

  // The name the resource was asked for, the database that found it (not
  // owned; it outlives its resources) and the file it was found in.
  const PString& GetName() const { return name_; }
  ResourceDatabase* GetDatabase() const { return database_; }
  const String& GetFilePath() const { return filePath_; }
  void SetFilePath(const String& path) { filePath_ = path; }

 protected:
  virtual uint32_t Load(const char* path);
  virtual uint32_t LoadTxt(const char* path);
  virtual uint32_t LoadComplete();
  virtual void Unload();

 private:
  PString name_;
  ResourceDatabase* database_;
  String filePath_;
  mutable std::mutex mutex_;
  uint32_t locks_ = 0;
};

}  // namespace Kiv
