#include "cli/InstallFromPath.h"

#include <sys/stat.h>

#include <set>
#include <utility>

#include "assetdb/client/AssetInstall.h"
#include "assetdb/client/VADClientTransaction.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/CommandArgs.h"
#include "cli/Commands.h"
#include "kiv/File.h"

namespace {

using FolderId = std::pair<dev_t, ino_t>;

bool HoldsAssetConfig(const Kiv::String& folder) {
  Kiv::File::Path txt(folder);
  txt.AddPath("config.txt");
  if (Kiv::File::Exists(txt.Str())) return true;
  Kiv::File::Path chump(folder);
  chump.AddPath("config.chump");
  return Kiv::File::Exists(chump.Str());
}

bool StopRequested(VADTransactionCallback* callback) {
  if (callback == nullptr) return false;
  const auto* flag = dynamic_cast<const InstallWalkStopFlag*>(callback);
  return flag != nullptr && flag->stop != 0;
}

uint32_t Walk(const Kiv::String& folder, ResultsLog& log, uint32_t mode, bool& out,
              VADTransactionCallback* callback, std::set<FolderId>& entered) {
  if (folder.empty()) return 0;
  // Only folders hold assets or entries. Each folder is entered once, known
  // by device and inode so that links are seen through: a link that loops
  // back, or a second way to an asset folder, adds nothing.
  const Kiv::String real = Kiv::File::Find::ResolveCase(folder);
  struct stat info {};
  if (real.empty() || ::stat(real.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 0;
  if (!entered.insert({info.st_dev, info.st_ino}).second) return 0;

  if (HoldsAssetConfig(folder)) {
    InstallFolder(folder, &log, mode, &out, callback);
    return 1;
  }

  Kiv::File::Find find;
  uint32_t count = 0;
  for (bool more = find.First(folder, "*"); more; more = find.Next()) {
    const Kiv::String& name = find.Name();
    if (name == "." || name == "..") continue;
    Kiv::File::Path child(folder);
    child.AddPath(name);
    count += Walk(child.Str(), log, mode, out, callback, entered);
    if (StopRequested(callback)) break;
  }
  return count;
}

}  // namespace

uint32_t InstallFromPath(const Kiv::String& folder, ResultsLog& log, uint32_t mode, bool& out,
                         VADTransactionCallback* callback) {
  std::set<FolderId> entered;
  return Walk(folder, log, mode, out, callback, entered);
}

int32_t InstallFromPathCommand(ResultsLog& log, EngineObjects& /*engine*/, int argc, char** argv) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing input path parameter.");
    return kCommandFailed;
  }
  const Kiv::File::Path path = ArgumentPath(argc, argv, 2);
  if (!Kiv::File::Exists(path.Str())) {
    AddCommandError(log, "Invalid input path.");
    return kCommandFailed;
  }
  if (!Kiv::File::IsDirectory(path.Str())) {
    AddCommandError(log, "The input path is not a folder.");
    return kCommandFailed;
  }
  bool out = false;
  if (InstallFromPath(path.Str(), log, 0, out, nullptr) != 0) return kCommandSucceeded;
  AddCommandError(
      log, "No asset folder (one holding config.txt or config.chump) was found in the input path.");
  return kCommandFailed;
}
