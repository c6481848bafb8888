#include "cli/CommandHostLifeline.h"

#include <unistd.h>

#include <cstdio>

#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/CommandHostLock.h"
#include "assetdb/protocol/DatabaseIpc.h"
#include "foundation/base/LogMessage.h"
#include "foundation/layout/FolderLayout.h"

namespace {

[[noreturn]] void End(const char* why) {
  LogMessage("VADCommandHost> %s; this host ends", why);
  std::fflush(nullptr);
  _exit(0);
}

void EndWithTheConnection() {
  End("the connection to the daemon ended");
}

// Whether the daemon that owns the database now started this process.
bool ParentOwnsTheDatabase() {
  DatabaseIpc ipc;
  if (!ipc.Open(GetAssetIndexPath())) return false;
  const uint32_t owner = ipc.Read().owner;
  ipc.Close();
  return owner == uint32_t(::getppid());
}

}  // namespace

void StartCommandHostLifeline() {
  HoldCommandHostLock(GetUserDataPath().Str());
  VADClient::SetConnectionLostHook(EndWithTheConnection);
  // A connection that ended before the hook was set is ended with all the
  // same (the reader marks it ended before it looks for the hook).
  if (!VADClient::IsConnected()) EndWithTheConnection();
  // The daemon that started this host went away before the host connected,
  // and the connection is to a later one (the owner changes only once the
  // owner has gone, and this process's parent is then another).
  if (!ParentOwnsTheDatabase()) End("the daemon that started this host has gone");
}
