// The bodies of the tool's command words, one function per word, each with
// the command signature of cli/EngineObjects.h. The dispatcher
// (cli/Dispatcher.h) calls them through the command table
// (cli/CommandTable.h) once it has matched the word; they check their own
// arguments, add severity-3 messages to the log for the problems they find
// and answer the command's status (0 success, -1 failure unless a word says
// otherwise). Output that scripts read goes to standard output, unflushed
// (main flushes before the process ends).
//
// Path arguments are used as typed and relative ones are taken from the
// directory the tool was started in (cli/CommandArgs.h).
//
// A failure is never reported as success. Where a request's failure would
// otherwise pass unnoticed, the command adds a severity-3 message and
// answers -1:
//   setlanguage  the daemon did not store the value: "Unable to write
//                internet settings."
//   edit         the asset could not be opened for editing: "Unable to open
//                the asset for editing." (subject: the KUID)
//   listbuilds   the daemon gave no list: "Unable to read the list of
//                installed builds."; the line was not written whole:
//                "Failed to write output file."
//   encrypt      the ".gse" file could not be written: "Failed to write
//                output file." (an existing one stays as it was)
//   createcdp    the folder of the output path does not exist: "The output
//                folder 'F' does not exist." (before any asset is asked
//                for); the daemon sent no entry for a listed asset: its
//                reason, or "Unable to make an archive entry for the asset."
//                when it gave none; an entry holds a tag that the archive
//                cannot store: "Unable to add the asset to the archive: "
//                and what does not fit (subject: the KUID). In each case no
//                archive is written.
//   delete       the daemon could not delete the asset: its error messages
//                (the reason) are passed on; its notice of success is not
//                shown
//   compile, encrypt  the start directory cannot be entered: "Invalid file
//                path."
// "commit" releases its asset handle whatever the outcome. "closevaddaemon"
// ends only the daemon of this UserData (the process that holds its lock,
// whichever installation's daemon program it runs) and the command hosts
// it started (the tool beside it), each after a bounded grace.
#pragma once

#include <cstdint>

#include "cli/EngineObjects.h"

// VersionCommands.cpp: the program's version 340 and build number 49938.
// The lo/hi words answer one byte of them, the others the whole numbers
// (the process exit status keeps only the low 8 bits).
inline constexpr int32_t kProgramVersion = 340;
inline constexpr int32_t kProgramBuild = 49938;
int32_t VersionCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t InstalledVersionLoCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t InstalledVersionHiCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t InstalledBuildNumberLoCommand(ResultsLog& log, EngineObjects& engine, int argc,
                                      char** argv);
int32_t InstalledBuildNumberHiCommand(ResultsLog& log, EngineObjects& engine, int argc,
                                      char** argv);
int32_t EchoCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t InstalledVersionCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t InstalledBuildNumberCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// SettingsCommands.cpp: settings stored by the daemon.
int32_t SetLanguageCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t RegisterAccountCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// DaemonCommands.cpp: closing the daemon, serving command-host jobs.
int32_t CloseVADDaemonCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t VADCommandHostCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// ArchiveCommands.cpp: installing and exporting archives.
int32_t InstallCDPCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t CreateCDPCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// AssetCommands.cpp: one asset, or the database's own values.
int32_t EditCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t PrintConfigCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t ListBuildsCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t CommitCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t RevertCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t DeleteCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t GenerateKUIDCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// SearchByCategoryCommand.cpp.
int32_t SearchByCategoryCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// RepairCommand.cpp: "repairdatabase"; answers 255 when the repair logged
// an error.
int32_t RepairDatabaseCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// Defined beside the bodies they run: InstallFromPath.cpp, AssetAuthors.cpp,
// AssetStatus.cpp and DeleteAllFetcheryAssets.cpp (their headers describe
// them).
int32_t InstallFromPathCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t AuthorsCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t StatusCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t FetcheryDeleteAllCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// CompressTextureCommand.cpp: "compresstexture" compiles every texture
// source below the folder of its first argument (ConvertTextures,
// render/textures/TextureConversion.h); 0 when all were converted, else -1.
// SIGINT, SIGTERM and SIGHUP meanwhile give the sources in flight their
// names back before they end the tool (render/textures/
// SourceNamesOnSignal.h).
int32_t CompressTextureCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// ScriptCommands.cpp: the script compiler. Both work in the start
// directory and restore the working directory before they answer.
int32_t CompileCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int32_t EncryptCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
