// Kiv::File's named file roots: a process-wide table from a root's name to
// its folder, guarded by one mutex.

#include <map>
#include <mutex>

#include "kiv/File.h"

namespace Kiv {

namespace {

struct RootTable {
  std::mutex mutex;
  std::map<String, String, std::less<>> folders;
};

// Never destroyed, so that roots stay usable while static objects of other
// files are torn down.
RootTable& Roots() {
  static RootTable* const table = new RootTable;
  return *table;
}

}  // namespace

void File::Subst(const PString& name, const String& folder) {
  if (name.Empty()) return;
  RootTable& roots = Roots();
  std::lock_guard<std::mutex> lock(roots.mutex);
  if (folder.empty()) {
    roots.folders.erase(name.Str());
    return;
  }
  roots.folders[name.Str()] = folder;
}

bool File::LookupRoot(const PString& name, String* folder) {
  if (name.Empty()) return false;
  RootTable& roots = Roots();
  std::lock_guard<std::mutex> lock(roots.mutex);
  const auto it = roots.folders.find(name.View());
  if (it == roots.folders.end()) return false;
  if (folder != nullptr) *folder = it->second;
  return true;
}

bool File::ResolveRooted(const PString& root, const String& name, String* out) {
  String folder;
  if (!LookupRoot(root, &folder)) return false;
  Path relative(name);
  relative.ReplaceForwardSlashes();
  if (!relative.StaysInside()) return false;
  relative.Normalize();
  Path joined(folder);
  joined.AddPath(relative.Str());
  if (out != nullptr) *out = joined.Str();
  return true;
}

}  // namespace Kiv
