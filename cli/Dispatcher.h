// DispatchCommand: runs one command line of the tool.
//
// argv[0] is the program path, argv[1] the command word (may be missing:
// argc 1), argv[2] onwards the command's arguments. The command word is
// matched in any letter case against the command table (cli/CommandTable.h)
// in the table's fixed order; the first match runs and no later word is
// tried. A word that matches nothing adds "Invalid argument, please check the
// help for the list of valid argument\n" to `log` (severity 3) and answers -1.
//
// Arguments that name files or folders are used exactly as typed (never
// lower-cased); relative ones are taken from the directory the tool was
// started in (GetStartDirectory, cli/EngineObjects.h). Problems found while
// checking the arguments are severity-3 messages in `log` and give -1; a
// command body reports its own failures into `log`. The answer is the
// command's status, a signed 32-bit value (the process exit status is its
// low 8 bits). `engine` is handed on but read by no command.
//
// When a daemon request of the command failed because the connection to
// the daemon was lost (VADClient::LostRequestCount rose while it ran), the
// error "$vad_connection_lost" is added after the command's own messages and
// a status of 0 becomes -1, so that a lost daemon never reads as success.
// EndCommandAfterLostDaemon does that ending, for whoever runs a command's
// requests itself (cli/ValidateLinePipeline.h): it adds the error and
// answers the status the command ends with.
//
// Runs on the main thread, one command at a time.
#pragma once

#include <cstdint>

#include "cli/EngineObjects.h"

class ResultsLog;

int32_t DispatchCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

int32_t EndCommandAfterLostDaemon(ResultsLog& log, int32_t status);
