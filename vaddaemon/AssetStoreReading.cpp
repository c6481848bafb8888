// AssetStore: holding assets for readers of their folders (see AssetStore.h).
#include <filesystem>

#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/AssetStoreImpl.h"

namespace fs = std::filesystem;

namespace {

// `path` without "." and ".." parts and without a separator at its end.
fs::path Tidy(const std::string& path) {
  fs::path tidy = fs::path(path).lexically_normal();
  if (tidy.has_parent_path() && tidy.filename().empty()) tidy = tidy.parent_path();
  return tidy;
}

}  // namespace

AssetStore::ReadHold AssetStore::HoldForReading(const KUID& kuid) {
  return impl_->kuidLocks.AcquireShared(kuid);
}

AssetStore::ReadHold AssetStore::TryHoldForReading(const KUID& kuid) {
  return impl_->kuidLocks.TryAcquireShared(kuid);
}

bool AssetStore::WaitUntilReadable(const KUID& kuid, std::chrono::steady_clock::time_point until) {
  return impl_->kuidLocks.WaitShareable(kuid, until);
}

KUID AssetStore::AssetOfFolder(const std::string& path) const {
  const Impl& s = *impl_;
  const fs::path given = Tidy(path);
  const fs::path parent = given.parent_path();
  if (!s.open || (parent != Tidy(s.localRoot) && parent != Tidy(s.editingRoot))) return kNullKUID;
  return AssetOfFolderName(given.filename().string());
}

bool AssetStore::HoldFolderForReading(const std::string& path, bool wait, ReadHold* hold,
                                      std::string* folder, std::string* location) {
  Impl& s = *impl_;
  *folder = path;
  const fs::path given = Tidy(path);
  const fs::path parent = given.parent_path();
  const bool inLocal = parent == Tidy(s.localRoot);
  const bool inEditing = parent == Tidy(s.editingRoot);
  const std::string name = given.filename().string();
  const KUID kuid = AssetOfFolder(path);
  if (kuid.IsNull()) return true;
  ReadHold held = wait ? HoldForReading(kuid) : TryHoldForReading(kuid);
  if (!held.Held()) return false;
  StoredAsset row;
  const RowRead read = s.Read(kuid, &row);
  const bool found = read == RowRead::kFound;
  const bool current =
      found && ((inLocal && row.folder == name) || (inEditing && row.editFolder == name));
  if (!current && found && inEditing && row.OpenForEdit()) {
    *folder = s.EditingPath(row.editFolder);
    if (location) *location = kEditingLocation;
  } else if (!current && found && row.Installed()) {
    *folder = s.LocalPath(row.folder);
    if (location) *location = kLocalLocation;
  } else if (!current && read != RowRead::kError) {
    // Removed since the reader was given the folder: nothing to read.
    folder->clear();
  }
  *hold = std::move(held);
  return true;
}
