// The folders the compiler searches for sources: IncludePathEntry,
// IncludePathList and the process-wide list every source read searches.
//
// An entry is a folder (a Kiv::File::Path, kept as given) and a container
// name: empty for the plain file system, otherwise a named file root
// (Kiv::File::Subst) in which the folder is looked up. A list keeps its
// entries in the order they were added and owns copies of them.
//
// The process-wide list (GSCompilerIncludePaths) is replaced by
// GSCompileFile on every call; GSCompileToLibrary searches it as the caller
// left it: callers clear it with PathListClear and add their folders with
// GSCompilerAddIncludePath. Not thread-safe: one compile at a time, on the
// main thread.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "kiv/File.h"
#include "kiv/PString.h"

struct IncludePathEntry {
  Kiv::File::Path path;
  Kiv::PString container;
};

class IncludePathList {
 public:
  void Append(const Kiv::File::Path& path, const Kiv::PString& container = Kiv::PString());
  void Clear() { entries_.clear(); }
  uint32_t Count() const { return uint32_t(entries_.size()); }
  const std::vector<IncludePathEntry>& Entries() const { return entries_; }

 private:
  std::vector<IncludePathEntry> entries_;
};

// The list every source read searches.
IncludePathList& GSCompilerIncludePaths();

// Appends (copies of) a folder and its container to the process-wide list.
void GSCompilerAddIncludePath(std::string_view path,
                              const Kiv::PString& container = Kiv::PString());
void GSCompilerAddIncludePath(const Kiv::PString& path,
                              const Kiv::PString& container = Kiv::PString());
// Destroys every entry of `list` and leaves it empty.
void PathListClear(IncludePathList& list);
