// The compiler's entries: the command line (GSCompilerMain), a source path
// compiled into a folder (GSCompileFile) and a unit compiled into a named
// library file (GSCompileToLibrary).
//
// GSCompilerMain(argc, argv) → the number of compile errors of the source;
// 1 after printing the usage; 0 after printing the documentation. Arguments
// from the second on: a word that does not begin with "-" is the source (a
// later one replaces an earlier one); a switch is chosen by its second
// character alone and its value is the rest of the word: "-s" silent (log
// lines are not printed), "-b<file>" appends the log lines to <file>,
// "-p<path>" output path, "-i<folder>" adds an include folder, "-d" prints
// the language documentation and returns 0 at once (nothing compiled, later
// arguments not looked at); "-c", "-t", "-l", "-o", a lone "-" and any other
// letter are ignored. With no source (or an empty one) the usage is printed
// and the result is 1. The log lines go, each with a line break, to the
// "-b" file (opened for appending, even when nothing was compiled) and,
// unless silent, to standard output. Relative paths are taken from the
// working folder, which the caller sets.
//
// GSCompileFile(source, output, includes, log) → 0 on success, else the
// unit's error count, or 1 when the library cannot be produced ("Internal
// Compiler Error.\n") or written ("Unable to open output file.\n"). The
// process-wide include list becomes the source's own folder followed by
// copies of `includes` (null: none). The library is written to the folder
// of `output` (its last component removed; null: the source's folder) under
// the source's file name with the extension ".gsl"; so "-pout/" writes into
// "out/", while "-pout" names the working folder.
//
// GSCompileToLibrary(name, output, log) → 0 when `name` is null or all went
// well; else the error count, or 1 with "Internal Compiler Error on
// '<name>'.\n" or "Unable to open output file: '<output>'.\n". It searches
// the process-wide include list as the caller left it. A null output
// writes nothing. Given `compiled`, a compile that went well leaves there
// the library's bytes (those written) and the sources the unit read, in
// reading order, the top source first (CompileUnit.h: SourceDependency).
// Given a `topFolder`, the top source is read from that folder alone (the
// file `name` there, or its ".gse" form), while its includes are searched
// for through the list as always; a script cache compiles an asset's own
// file so, whatever folders come before the asset's in the list.
//
// A library is written to a temporary file in the output folder, checked,
// and renamed over the target: nothing is written when the unit has errors,
// and a failed write leaves an existing file as it was. The output folder
// must exist. In a bounded job the write is one of its lasting effects
// (foundation/threads/JobDeadline.h): once the job's time is up nothing is
// written and the compile fails with kCompileStoppedText. A null log keeps
// no lines; only the result tells.
//
// Not thread-safe: one compile at a time, on the main thread.
#pragma once

#include <cstdint>
#include <vector>

#include "gscompiler/CompileLog.h"
#include "gscompiler/CompileUnit.h"
#include "gscompiler/IncludePathList.h"

struct CompiledLibrary {
  std::vector<uint8_t> bytes;
  std::vector<SourceDependency> sources;
};

int GSCompilerMain(int argc, char** argv);
int GSCompileFile(const char* source, const char* output, const IncludePathList* includes,
                  CompileLog* log);
int GSCompileToLibrary(const char* name, const char* output, CompileLog* log,
                       CompiledLibrary* compiled = nullptr, const char* topFolder = nullptr);

// The text "-d" prints.
const char* GSCompilerDocumentation();
