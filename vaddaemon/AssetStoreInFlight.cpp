// AssetStore::Impl: replacements in flight (the rule is stated in
// AssetStore.h, Replacing): what the store records, before it makes a
// folder at an asset's other name, so that a start can tell that folder
// (and the copy it replaces) for its own.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "foundation/base/LogMessage.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStoreImpl.h"

namespace fs = std::filesystem;

namespace {

// The row for the folder at `path` in the content folder `place` (its
// name and identity: device, inode and, where the file system keeps one,
// birth time); false when nothing stands there.
bool Describe(const std::string& path, const std::string& place, InFlightFolder* folder) {
  struct statx info = {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &info) != 0)
    return false;
  folder->place = place;
  folder->name = fs::path(path).filename().string();
  folder->device = uint64_t(makedev(info.stx_dev_major, info.stx_dev_minor));
  folder->inode = uint64_t(info.stx_ino);
  folder->born = (info.stx_mask & STATX_BTIME) == 0
                     ? 0
                     : int64_t(info.stx_btime.tv_sec) * 1000000000 + info.stx_btime.tv_nsec;
  return true;
}

}  // namespace

std::string AssetStore::Impl::InFlightPath(const InFlightFolder& folder) const {
  if (folder.place == kLocalLocation) return LocalPath(folder.name);
  if (folder.place == kEditingLocation) return EditingPath(folder.name);
  return std::string();
}

bool AssetStore::Impl::Stands(const InFlightFolder& folder) const {
  InFlightFolder now;
  const std::string path = InFlightPath(folder);
  return folder.born != 0 && !path.empty() && Describe(path, folder.place, &now) &&
         now.device == folder.device && now.inode == folder.inode && now.born == folder.born;
}

StoreResult AssetStore::Impl::PrepareInFlight(const std::string& staging, const std::string& target,
                                              const std::string& replaced,
                                              std::vector<InFlightFolder>* record,
                                              std::vector<std::string>* setAside) {
  const std::string place =
      fs::path(target).parent_path() == fs::path(localRoot) ? kLocalLocation : kEditingLocation;
  // Whatever stands at the name now is not what the store makes there.
  const StoreResult way = MakeWay(target, setAside);
  if (!way.Ok()) return way;
  InFlightFolder made;
  if (!Describe(staging, place, &made))
    return StoreResult::Fail(StoreCode::kIoError, "the staging folder " + staging + " is gone");
  made.name = fs::path(target).filename().string();
  record->push_back(made);
  InFlightFolder old;
  if (Describe(replaced, place, &old)) record->push_back(old);
  return StoreResult::Success();
}

StoreResult AssetStore::Impl::RecordInFlight(const std::vector<InFlightFolder>& record) {
  if (record.empty()) return StoreResult::Success();
  std::string error;
  if (!inFlightRecord.Add(record, &error))
    return StoreResult::Fail(StoreCode::kIoError, "cannot record the replacement: " + error);
  return StoreResult::Success();
}

void AssetStore::Impl::ClearInFlight(const std::vector<InFlightFolder>& record) {
  if (record.empty()) return;
  std::vector<InFlightFolder> done;
  {
    std::lock_guard<FairMutex> lock(dbMutex);
    for (const InFlightFolder& folder : record) {
      StoredAsset row;
      const bool named =
          ReadAssetRow(db, AssetOfFolderName(folder.name), &row) == RowRead::kFound &&
          (folder.place == kLocalLocation ? row.folder : row.editFolder) == folder.name;
      if (named || !Stands(folder)) done.push_back(folder);
    }
  }
  std::string error;
  if (inFlightRecord.Drop(done, &error)) return;
  LogMessage(
      "vaddaemon> store: cannot clear the record of a replacement (%s); the next start "
      "clears it",
      error.c_str());
}
