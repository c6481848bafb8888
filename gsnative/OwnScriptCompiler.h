// CompileOwnScript: compiles the script text that a scriptable object
// carries itself and answers the compiled library's class "CustomObject".
//
// The text goes through fixed files of the user-data cache folder: it is
// written to "cache/temp_object.gs", compiled (include folders: the asset's
// folder, the cache folder, the "scripts" folder, in that order; the list
// is restored afterwards) into "cache/temp_object.gsl", which the script
// machine then loads under an empty name. The names are fixed because the
// source's file name is part of the compiled library's identity. Both
// files are deleted whatever happened, so none is left after a failed
// compile.
//
// Processes that share a user-data folder take turns: an exclusive lock
// on "cache/temp_object.lock" (flock; the lock file itself stays) is held
// from the write until the library is loaded, so one process never
// compiles or loads another's text.
//
// Failure: null when the cache folder cannot be made, the lock cannot be
// had, the text cannot be written, the compile finds errors (its log is
// dropped, not printed), or the library or its class does not load. One
// line goes to the program log for the first three.
//
// Not thread-safe: the compiler and the script machine are used from the
// thread that runs scripts.
#pragma once

#include "kiv/String.h"

namespace GSRuntime {
class GSClass;
}

GSRuntime::GSClass* CompileOwnScript(const Kiv::String& text, const Kiv::String& assetFolder);
