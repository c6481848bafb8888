#include "cli/InstallFromPath.h"

#include <sys/stat.h>

#include <set>
#include <utility>
#include <vector>

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

// Folders found by the walk and not sent yet. Without a callback (which
// could ask the walk to stop after any folder) up to kMaxFolders are sent
// in one request, which the daemon makes durable together; with one, each
// folder is sent as it is found.
class PendingFolders {
 public:
  static constexpr size_t kMaxFolders = 256;

  PendingFolders(ResultsLog& log, uint32_t mode, bool& out, VADTransactionCallback* callback)
      : log_(log), mode_(mode), out_(out), callback_(callback) {}

  void Add(const Kiv::String& folder) {
    if (callback_ != nullptr) {
      InstallFolder(folder, &log_, mode_, &out_, callback_);
      return;
    }
    folders_.push_back(folder);
    if (folders_.size() >= kMaxFolders) Send();
  }

  void Send() {
    if (folders_.empty()) return;
    InstallFolders(folders_, &log_, mode_, &out_);
    folders_.clear();
  }

 private:
  ResultsLog& log_;
  const uint32_t mode_;
  bool& out_;
  VADTransactionCallback* const callback_;
  std::vector<Kiv::String> folders_;
};

uint32_t Walk(const Kiv::String& folder, PendingFolders& pending, VADTransactionCallback* callback,
              std::set<FolderId>& entered) {
  if (folder.empty()) return 0;
  // Only folders hold assets or entries. Each folder is entered once, known
  // by device and inode so that links are seen through: a link that loops
  // back, or a second way to an asset folder, adds nothing.
  const Kiv::String real = Kiv::File::Find::ResolveCase(folder);
  struct stat info {};
  if (real.empty() || ::stat(real.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 0;
  if (!entered.insert({info.st_dev, info.st_ino}).second) return 0;

  if (HoldsAssetConfig(folder)) {
    pending.Add(folder);
    return 1;
  }

  Kiv::File::Find find;
  uint32_t count = 0;
  for (bool more = find.First(folder, "*"); more; more = find.Next()) {
    const Kiv::String& name = find.Name();
    if (name == "." || name == "..") continue;
    Kiv::File::Path child(folder);
    child.AddPath(name);
    count += Walk(child.Str(), pending, callback, entered);
    if (StopRequested(callback)) break;
  }
  return count;
}

}  // namespace

uint32_t InstallFromPath(const Kiv::String& folder, ResultsLog& log, uint32_t mode, bool& out,
                         VADTransactionCallback* callback) {
  std::set<FolderId> entered;
  PendingFolders pending(log, mode, out, callback);
  const uint32_t count = Walk(folder, pending, callback, entered);
  pending.Send();
  return count;
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
