// The store module: opens the daemon's asset store (AssetStore.h) at start,
// before any handler runs, and provides it to the other modules.
//
// The local user's id (for new KUIDs) comes from VADDAEMON_USER_ID, a whole
// number from 0 to 16777215 (kMaxStoredUserId: a KUID with a higher user id
// does not read back as written from the stream and soup forms); unset gives
// 0, anything else is logged and refused (the daemon does not start with a
// range it was not given).
// A store that cannot be opened (an index that cannot be opened or was
// written by a newer daemon, folders that cannot be made) stops the
// daemon's start with the reason in the log. What the opening did with a
// missing or damaged index, and the folders the recovery took in, set
// aside or left alone, are logged.
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/base/LogMessage.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/StartState.h"

namespace {

bool LocalUserId(int32_t* id) {
  const char* text = std::getenv("VADDAEMON_USER_ID");
  *id = 0;
  if (!text) return true;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 0 || value > kMaxStoredUserId) {
    LogMessage("vaddaemon> VADDAEMON_USER_ID=\"%s\" is not a user id from 0 to %d", text,
               kMaxStoredUserId);
    NoteStartFailure("VADDAEMON_USER_ID is \"" + std::string(text) +
                     "\", not a user id from 0 to " + std::to_string(kMaxStoredUserId) +
                     ": set it to one, or unset it, then run the command again.");
    return false;
  }
  *id = static_cast<int32_t>(value);
  return true;
}

// The line for the user when the store cannot be opened: a file where a
// folder of the store belongs, or the store's own reason.
std::string StoreFailure(const std::string& userData, const std::string& message) {
  for (const char* folder : {"local", "editing"}) {
    const std::string path = userData + "/" + folder;
    const std::string what = EntryInTheWay(path, true);
    if (!what.empty()) {
      return "'" + path + "' is " + what +
             ", where the asset store keeps its asset folders: move it out of '" + userData +
             "', then run the command again.";
    }
  }
  return "The asset store cannot be opened: " + message + ". See the last lines of '" + userData +
         "/vaddaemon.log'.";
}

bool Start(DaemonContext& context) {
  AssetStore::Options options;
  options.indexPath = context.AssetIndexPath().Str();
  options.userDataPath = context.UserDataPath().Str();
  if (!LocalUserId(&options.localUserId)) return false;
  auto store = std::make_shared<AssetStore>(options);
  const StoreResult opened = store->Open();
  if (!opened.Ok()) {
    LogMessage("vaddaemon> cannot open the asset store: %s", opened.message.c_str());
    NoteStartFailure(StoreFailure(options.userDataPath, opened.message));
    return false;
  }
  const AssetStore::RecoveryReport& report = store->LastRecovery();
  if (!report.indexDamage.empty()) {
    std::string moved;
    for (const std::string& one : report.setAside) moved += (moved.empty() ? "" : ", ") + one;
    LogMessage(
        "vaddaemon> the asset index is damaged, kept %s: %s; the index is made again "
        "from the asset folders",
        moved.c_str(), report.indexDamage.c_str());
  } else if (report.indexMade) {
    LogMessage("vaddaemon> no asset index at %s: the index is made from the asset folders",
               options.indexPath.c_str());
  }
  if (report.installedTakenIn || report.editsTakenIn)
    LogMessage(
        "vaddaemon> recovery: %u installed asset folders and %u edit copies taken into "
        "the index",
        report.installedTakenIn, report.editsTakenIn);
  for (const std::string& why : report.notTakenIn)
    LogMessage("vaddaemon> recovery: left alone, not taken into the index: %s", why.c_str());
  for (const std::string& one : report.copiesSetAside)
    LogMessage("vaddaemon> recovery: set aside, not taken into the index: %s", one.c_str());
  if (report.rowsRemoved || report.editsCleared || report.foldersRemoved)
    LogMessage("vaddaemon> recovery: %u entries removed, %u edits cleared, %u folders removed",
               report.rowsRemoved, report.editsCleared, report.foldersRemoved);
  if (report.dependentsMended)
    LogMessage("vaddaemon> recovery: %u rows of the dependency index brought in line",
               report.dependentsMended);
  if (report.sourcesRenamed)
    LogMessage("vaddaemon> recovery: %u texture sources given their names back",
               report.sourcesRenamed);
  if (report.takenGivenBack)
    LogMessage("vaddaemon> recovery: %u edit folders got back the files a commit had taken",
               report.takenGivenBack);
  for (const std::string& path : report.keptAside)
    LogMessage("vaddaemon> recovery: kept %s beside the file saved since under its name",
               path.c_str());
  for (const std::string& path : report.leftAlone)
    LogMessage("vaddaemon> left alone (not the store's): %s", path.c_str());
  context.Provide<AssetStore>(store);
  return true;
}

void Stop(DaemonContext& context) {
  context.Provide<AssetStore>(nullptr);
}

}  // namespace

VAD_DAEMON_MODULE(DaemonModule{.name = "store",
                               .order = DaemonModule::kOrderStore,
                               .start = &Start,
                               .registerHandlers = nullptr,
                               .stop = &Stop});
