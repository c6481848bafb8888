// Start-up and shut-down of the engine around the tool's commands.
//
// InitEngine fills the zeroed `engine` record and starts, in order: the
// validation library's error handler, the saved start directory and the
// change to the program's folder, the validation data manager on
// "<program folder>/TETData/", the engine objects (Kiv::OS, the resource
// system, the null render kernel, then the program's plug-in set:
// KivGetPlugins run through Kiv::PluginSet::Load, its material plug-ins
// handed to the kernel's material manager), the render globals of the
// checks (the data manager's check scene on the kernel, then the run's
// alpha-blend caches, dummy materials and vertex types), the network
// layer, the installation and user-data folders (the installation root is
// the program folder's parent; the write check of UserData runs alongside
// the steps after it and is finished before a daemon is started and before
// InitEngine answers: BeginInstallPath, FolderLayout.h), the daemon client
// (which starts the daemon when none runs), the main thread id and the interface-text language
// stored in the daemon's settings ("internet"/"language", "US" when
// empty), and a reference to the engine's "bmp" image plug-in type
// (kiv/host/LookupPluginByType.h; none when the engine has no such type,
// which is not a failure). For the word "closevaddaemon" the client makes one
// attempt and starts no daemon, and a daemon not reached is no failure
// (the command then ends one that does not answer, DaemonCommands.cpp),
// unless the owner block belongs to another user. The switches "norender",
// "-kivlog" and "-novadclient" are looked for in every argument, in any
// letter case, and left in place. The answer is true when start-up
// succeeded; false when a step failed, which writes its message (if any) to
// standard error (a daemon client that could not be opened fails without a
// message).
//
// ShutdownEngine releases everything InitEngine made, in the fixed order
// (worker queue, image plug-in reference, daemon client, queued worker
// tasks, validation library with its render globals and alpha-blend
// caches, folder layout, network layer, unused resource databases, the
// plug-in set, render kernel, resource system, OS); it copes with a record
// that start-up filled only in part.
//
// EngineOptionsString builds the engine's options text from the switches:
// "-NullRender " or "-render=OpenGL -hidewindow ", then "-LogStdOut " or
// "-LogFile=/dev/null ".
//
// ScriptLogCallback formats a script log line (at most 16383 bytes) and
// writes it to the log as "ScriptLog> <text>"; nothing goes to the console.
// The entry point makes it the script runtime's print hook (GSPrintHook),
// so every runtime message (link errors, unresolved natives, thread
// exceptions) reaches the engine log, which "-kivlog" sends to standard
// output.
//
// Main thread only.
#pragma once

#include <string>

#include "cli/EngineObjects.h"

bool InitEngine(EngineObjects& engine, const char* programPath, int argc, char** argv);
void ShutdownEngine(EngineObjects& engine);

std::string EngineOptionsString(bool noRender, bool logToConsole);

void ScriptLogCallback(const char* format, ...) __attribute__((format(printf, 1, 2)));
