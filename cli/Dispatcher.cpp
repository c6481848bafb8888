#include "cli/Dispatcher.h"

#include "cli/CommandArgs.h"
#include "cli/CommandTable.h"
#include "kiv/PString.h"

int32_t DispatchCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv) {
  // The word is interned and lower-cased once, so it matches in any case.
  Kiv::PString word(ArgumentText(argc, argv, 1));
  word.ToLower();
  const CommandEntry* entry = FindCommand(word.View(), argc);
  if (entry == nullptr) {
    AddCommandError(log, "Invalid argument, please check the help for the list of valid argument\n");
    return kCommandFailed;
  }
  return entry->run(log, engine, argc, argv);
}
