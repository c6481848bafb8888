// RunCommandGuarded: runs one command through the dispatcher inside the
// exception guard (foundation/CallGuarded.h). It turns the guard on first;
// a fault or an escaping exception in the command ends the process at once
// with status -100 (seen as 156), printing and shutting down nothing.
// Otherwise it answers the dispatcher's status. Main thread only.
#pragma once

#include <cstdint>

#include "cli/Dispatcher.h"
#include "cli/EngineObjects.h"

class ResultsLog;

int32_t RunCommandGuarded(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
