#include "cli/Dispatcher.h"

#include "assetdb/client/VADClient.h"
#include "cli/CommandArgs.h"
#include "cli/CommandTable.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "kiv/PString.h"

int32_t EndCommandAfterLostDaemon(ResultsLog& log, int32_t status) {
  // Whatever the command made of its failed requests, its work is not done.
  AddCommandError(log, GetInterfaceText("$vad_connection_lost"));
  return status != kCommandSucceeded ? status : kCommandFailed;
}

int32_t DispatchCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv) {
  // The word is interned and lower-cased once, so it matches in any case.
  Kiv::PString word(ArgumentText(argc, argv, 1));
  word.ToLower();
  const CommandEntry* entry = FindCommand(word.View(), argc);
  if (entry == nullptr) {
    AddCommandError(log,
                    "Invalid argument, please check the help for the list of valid argument\n");
    return kCommandFailed;
  }
  const uint64_t lostBefore = VADClient::LostRequestCount();
  const int32_t status = entry->run(log, engine, argc, argv);
  if (VADClient::LostRequestCount() == lostBefore) return status;
  return EndCommandAfterLostDaemon(log, status);
}
