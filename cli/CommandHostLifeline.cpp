#include "cli/CommandHostLifeline.h"

#include <unistd.h>

#include <cstdio>

#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/CommandHostLock.h"
#include "foundation/base/LogMessage.h"
#include "foundation/layout/FolderLayout.h"

namespace {

void EndWithTheConnection() {
  LogMessage("VADCommandHost> the connection to the daemon ended; this host ends");
  std::fflush(nullptr);
  _exit(0);
}

}  // namespace

void StartCommandHostLifeline() {
  HoldCommandHostLock(GetUserDataPath().Str());
  VADClient::SetConnectionLostHook(EndWithTheConnection);
  // A connection that ended before the hook was set is ended with all the
  // same (the reader marks it ended before it looks for the hook).
  if (!VADClient::IsConnected()) EndWithTheConnection();
}
