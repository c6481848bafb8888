// AssetStore::Impl::SettleUnnamedFolders: recovery step 3, the folders of
// "local" and "editing" that no row names (the rule is stated in
// AssetStore.h): the store's unfinished work is cleared, asset folders are
// taken into the index, and nothing else is touched.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/layout/EditCopyMark.h"
#include "foundation/soup/Soup.h"
#include "kiv/FileConfinement.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetFolderNames.h"
#include "vaddaemon/AssetStoreImpl.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/IndexAside.h"
#include "vaddaemon/StartState.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat info = {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The other name of an asset folder: with "~" appended, or without it.
std::string OtherName(const std::string& name) {
  if (!name.empty() && name.back() == '~') return name.substr(0, name.size() - 1);
  return name + "~";
}

// When a copy was written: the latest status change of the entries right
// in it (a copy is made file by file, and its files keep that time as its
// other copy is removed), in nanoseconds; 0 for an empty folder.
int64_t LastWritten(const std::string& folder) {
  int64_t latest = 0;
  for (const std::string& name : ListFolderEntries(folder)) {
    struct stat info = {};
    if (::lstat((folder + "/" + name).c_str(), &info) != 0) continue;
    const int64_t changed = int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    if (changed > latest) latest = changed;
  }
  return latest;
}

// An asset folder no row names, on its way into the index.
struct Candidate {
  std::string name;
  KUID kuid;
  StoredAsset fresh;   // what its configuration says
  bool named = false;  // the configuration names `kuid`
};

// Of several usable copies of one asset in one location, the one written
// last; on a tie, the one under the plain name.
size_t PickCopy(const std::string& root, const std::vector<Candidate>& copies) {
  if (copies.size() < 2) return 0;
  size_t best = 0;
  int64_t bestTime = LastWritten(root + "/" + copies[0].name);
  for (size_t i = 1; i < copies.size(); ++i) {
    const int64_t time = LastWritten(root + "/" + copies[i].name);
    const bool plain = copies[i].name.back() != '~';
    if (time > bestTime || (time == bestTime && plain)) {
      best = i;
      bestTime = time;
    }
  }
  return best;
}

}  // namespace

std::vector<std::string> ListFolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

namespace {

// Whether the folder `name` of the content folder `place` is one a
// replacement cut short made, or was about to remove: the store recorded
// it, with its identity, before it made it.
bool MadeInFlight(const AssetStore::Impl& s, const char* place, const std::string& name) {
  for (const InFlightFolder& folder : s.inFlightAtStart) {
    if (folder.place == place && folder.name == name && s.Stands(folder)) return true;
  }
  return false;
}

// Sets aside the copy at `path` that is not taken in (beside another copy,
// or at the other name of the folder the index names), under a name no
// later start takes in or removes; false (listed as not taken in) when it
// cannot be moved.
bool SetCopyAside(AssetStore::Impl& s, const std::string& path, const std::string& why) {
  std::string aside;
  std::string error;
  if (MoveAside(path, kSetAsideWhy, &aside, &error)) {
    s.report.copiesSetAside.push_back(path + " as " + aside + ": " + why);
    return true;
  }
  s.report.notTakenIn.push_back(path + ": " + why + "; " + error);
  return false;
}

// Sorts the entries of `root` (the content folder `place`) that `keep`
// does not hold: entries that are not the store's go to the report;
// staging folders, and asset folders whose other name a row names there
// that a replacement cut short made or left (recorded in flight), to
// `clear`; any other folder at such a name (the user's) is set aside;
// other asset folders go to `candidates`, by asset.
void SortEntries(AssetStore::Impl& s, const std::string& root, const char* place,
                 const std::vector<std::string>& entries, const std::set<std::string>& keep,
                 std::vector<std::string>* clear,
                 std::map<std::string, std::vector<Candidate>>* candidates) {
  for (const std::string& name : entries) {
    if (keep.count(name)) continue;
    const std::string path = root + "/" + name;
    if (!IsStoreFolderName(name) || !IsFolder(path)) {
      s.report.leftAlone.push_back(path);
      continue;
    }
    if (IsStagingFolderName(name)) {
      clear->push_back(path);
      continue;
    }
    if (keep.count(OtherName(name))) {
      if (MadeInFlight(s, place, name)) {
        clear->push_back(path);
      } else {
        SetCopyAside(s, path,
                     "the index names " + OtherName(name) +
                         ", and the store did not make this folder at its other name");
      }
      continue;
    }
    Candidate candidate;
    candidate.name = name;
    candidate.kuid = AssetOfFolderName(name);
    (*candidates)[AssetFolderName(candidate.kuid)].push_back(candidate);
  }
}

// Why the copy at `path` cannot be taken in, or "" when it can: an
// installed copy must be one an install would take, of the asset its name
// gives; an edit copy is the user's work in progress and is kept whatever
// its configuration says. Its configuration is read confined to it.
std::string Unusable(const std::string& path, bool installed, Candidate& copy) {
  const Kiv::ConfinedFolder confined(path);
  StoreResult described;
  if (installed) {
    described = DescribeStaged(path, &copy.fresh);
  } else {
    Soup config;
    if (LoadAssetFolderConfig(path, &config)) DescribeAssetFromConfig(config, &copy.fresh);
  }
  copy.named = copy.fresh.kuid == copy.kuid;
  if (!installed) return std::string();
  if (!described.Ok()) return described.message;
  if (!copy.named)
    return "its configuration names " + KUIDToTagString(copy.fresh.kuid).Str() +
           ", not the asset its folder is named for";
  return std::string();
}

// Reads each candidate's configuration (Unusable) and keeps one usable
// copy per asset (PickCopy); the other copies of that asset are set aside,
// each with the reason in the report. When none is usable, or one cannot
// be set aside, no copy of that asset is taken in and each is left alone.
std::vector<Candidate> Judge(AssetStore::Impl& s, const std::string& root, bool installed,
                             std::map<std::string, std::vector<Candidate>>& candidates) {
  std::vector<Candidate> chosen;
  for (auto& [plain, copies] : candidates) {
    // In the order of their names, whatever order the folder listed them.
    std::sort(copies.begin(), copies.end(),
              [](const Candidate& a, const Candidate& b) { return a.name < b.name; });
    std::vector<Candidate> usable;
    std::vector<std::string> why;
    for (Candidate& copy : copies) {
      NoteStartProgress();
      why.push_back(Unusable(root + "/" + copy.name, installed, copy));
      if (why.back().empty()) usable.push_back(copy);
    }
    const size_t pick = PickCopy(root, usable);
    bool setAside = !usable.empty();
    for (size_t i = 0; i < copies.size(); ++i) {
      if (!usable.empty() && copies[i].name == usable[pick].name) continue;
      const std::string path = root + "/" + copies[i].name;
      if (usable.empty()) {
        s.report.notTakenIn.push_back(path + ": " + why[i]);
        continue;
      }
      const std::string reason =
          why[i].empty() ? "another copy of the asset is taken in (" + usable[pick].name + ")"
                         : why[i];
      setAside = SetCopyAside(s, path, reason) && setAside;
    }
    if (setAside) {
      chosen.push_back(usable[pick]);
    } else if (!usable.empty()) {
      s.report.notTakenIn.push_back(root + "/" + usable[pick].name +
                                    ": another copy of the asset could not be set aside");
    }
  }
  return chosen;
}

}  // namespace

StoreResult AssetStore::Impl::SettleUnnamedFolders(const std::vector<std::string>& localEntries,
                                                   const std::vector<std::string>& editingEntries,
                                                   std::set<std::string>& keepLocal,
                                                   std::set<std::string>& keepEditing) {
  std::vector<std::string> clear;
  std::map<std::string, std::vector<Candidate>> installs;
  std::map<std::string, std::vector<Candidate>> edits;
  SortEntries(*this, localRoot, kLocalLocation, localEntries, keepLocal, &clear, &installs);
  SortEntries(*this, editingRoot, kEditingLocation, editingEntries, keepEditing, &clear, &edits);
  const std::vector<Candidate> installed = Judge(*this, localRoot, true, installs);
  const std::vector<Candidate> edited = Judge(*this, editingRoot, false, edits);
  // An edit copy a start takes in is the user's from the start: whatever
  // mark it carries, no install removes it (EditCopyMark.h).
  for (const Candidate& copy : edited) ForgetMark(editingRoot + "/" + copy.name);
  if (!installed.empty() || !edited.empty()) {
    std::lock_guard<FairMutex> lock(dbMutex);
    SqliteTransaction transaction(db);
    if (!transaction.Begun()) return DbFail("cannot take the asset folders in");
    std::vector<KUID> changed;
    // The installed copies first: an edit copy then finds its asset's row.
    for (const Candidate& copy : installed) {
      StoredAsset row;
      const RowRead read = ReadAssetRow(db, copy.kuid, &row);
      if (read == RowRead::kError) return DbFail("cannot take the asset folders in");
      if (read == RowRead::kMissing) row = StoredAsset();
      row.kuid = copy.kuid;
      row.name = copy.fresh.name;
      row.authorId = copy.fresh.authorId;
      ApplyInstalledFields(copy.fresh, false, row);
      row.folder = copy.name;
      if (!WriteAssetRow(db, row)) return DbFail("cannot take the asset folders in");
      changed.push_back(copy.kuid);
    }
    for (const Candidate& copy : edited) {
      StoredAsset row;
      const RowRead read = ReadAssetRow(db, copy.kuid, &row);
      if (read == RowRead::kError) return DbFail("cannot take the asset folders in");
      if (read == RowRead::kMissing) {
        // An asset never committed: the placeholder a reservation makes.
        row = StoredAsset();
        row.kuid = copy.kuid;
        row.name = copy.named ? copy.fresh.name : std::string();
        row.authorId = copy.kuid.userId;
        row.placeholder = true;
      }
      row.editFolder = copy.name;
      if (!WriteAssetRow(db, row)) return DbFail("cannot take the asset folders in");
    }
    if (!RefreshMissingMarks(changed) || !transaction.Commit())
      return DbFail("cannot take the asset folders in");
  }
  for (const Candidate& copy : installed) keepLocal.insert(copy.name);
  for (const Candidate& copy : edited) keepEditing.insert(copy.name);
  report.installedTakenIn = uint32_t(installed.size());
  report.editsTakenIn = uint32_t(edited.size());
  // Folders go only after the index no longer names them.
  for (const std::string& path : clear) {
    if (RemoveFolderTree(path)) ++report.foldersRemoved;
  }
  return StoreResult::Success();
}
