// The command table: every command word of the tool with its body, in the
// order in which the dispatcher compares them.
//
// Words are lower-case; the dispatcher lower-cases the typed word before it
// looks. A word matches only when the command line has at least
// `minimumArgc` entries (program path and word included); a line with
// fewer falls through to the later words, and so, as no later word is the
// same, to "no command". The first match wins.
//
// The table is constant and lives for the whole process.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "cli/EngineObjects.h"

struct CommandEntry {
  std::string_view word;
  CommandFunction run;
  int minimumArgc;
};

// Every entry, in comparison order.
std::span<const CommandEntry> CommandTable();

// The first entry whose word is `lowerWord` and whose minimum argc is met,
// or null.
const CommandEntry* FindCommand(std::string_view lowerWord, int argc);
