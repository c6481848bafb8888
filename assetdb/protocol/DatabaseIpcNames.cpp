#include "assetdb/protocol/DatabaseIpcNames.h"

#include <string_view>
#include <utility>

namespace {

constexpr std::string_view kMutexBase = "09731AC6-B611-4e2a-B181-578073F64F24";
constexpr std::string_view kIndexName = "assets.tdx";
constexpr std::string_view kSharedSuffix = "-ipc2";
constexpr std::string_view kLockFile = "assets.tdx.lock";
constexpr std::string_view kBlockFile = "assets.tdx.ipc";

}  // namespace

bool FormDatabaseIpcNames(const Kiv::File::Path& assetIndexPath, DatabaseIpcNames* out) {
  if (out == nullptr) return false;
  const Kiv::String& path = assetIndexPath.Str();
  if (path.size() <= kIndexName.size()) return false;
  const size_t nameAt = path.size() - kIndexName.size();
  if (!Kiv::EqualsIgnoreCase(std::string_view(path).substr(nameAt), kIndexName)) return false;
  const char separator = path[nameAt - 1];
  if (separator != '/' && separator != '\\') return false;

  DatabaseIpcNames names;
  names.folder = Kiv::File::Path(std::string_view(path).substr(0, nameAt - 1));
  Kiv::File::Path mutex(kMutexBase);
  mutex.AddPath(names.folder.Str());
  mutex.ReplaceForwardSlashes();
  Kiv::File::Path shared = mutex;
  shared.AddPath(kSharedSuffix);
  names.mutexName = mutex.Str();
  names.sharedName = shared.Str();
  Kiv::File::Path lock = names.folder;
  lock.AddPath(kLockFile);
  Kiv::File::Path block = names.folder;
  block.AddPath(kBlockFile);
  names.lockPath = lock.Str();
  names.blockPath = block.Str();
  *out = std::move(names);
  return true;
}
