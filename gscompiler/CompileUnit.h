// One compile of one unit: the top source and every source it includes.
//
// CompileContext is the state of one source being compiled: its message
// half (GSCompiler::CompileDiagnostics: counts, file name, log), the file
// name as searched (lower-cased), the parse tree and the two CRCs that
// identify the source (of its text behind the pending prefix, and of its
// lower-cased file name without folder).
//
// CompileUnit holds what the sources of one compile share: the parse arena
// of every tree, the list of sources read so far (a source is read once per
// unit; its index is the order in which it was first read, the top source
// 0), the log and the top source's context. It lives on the stack of one
// compile call and is cleared by GSCompileUnit before the compile.
//
// GSCompileUnit(unit, name, log) → error count (0 on success):
// - a name of 512 characters or more is refused ("Could not read file
//   (null) : <name>." and ".. while compiling '<name>'", result 1);
// - a name ending in ".gse" (any case) is compiled under the ".gs" name,
//   and the search finds the ".gse" file again;
// - the top source and its includes are read, parsed and checked
//   (GSCompileSource; the top from `unit.topFolder` when it names one, its
//   includes always through the include list); on errors ".. while compiling '<name>'" is appended
//   and their count returned;
// - then code is generated; a failure gives 1 and the line
//   "\nInternal Code Generation Error...", unless the back end refused the
//   unit at a limit of what a library holds (`refusedAtLimit` of the top
//   context), a counted error it has reported itself. Once code generation has run
//   (code generation itself frees the nodes of the classes it finished)
//   the parse trees' nodes are freed (`top.root` becomes null; the texts stay
//   for the library writer).
//
// GSCompileSource(unit, name, context, isTop) reads one source into its
// context, records it in the unit, compiles each of its includes that the
// unit has not read yet (appending ".. while compiling '<include>'" after an
// include that failed), and answers the errors. GSReadSource(name, context,
// confined) searches the process-wide include list (IncludePathList.h) for
// the name, then, for a ".gs" name, for the ".gse" form; it reads the file
// (ScriptFile), refuses a text that begins with a UTF-8 byte-order mark and
// parses it. 0 on success, 1 on failure (each failure counted as an error
// of the context). A `confined` name (an include, which comes from a
// script) must stay inside the include folders: an absolute name or one
// whose ".." climbs out is not searched. Names are looked up with their
// exact case first, then without regard to case; "/" and "\" both separate
// folders.
//
// GSSourceTextCrc(name, confined, textCrc) searches and reads `name` as
// GSReadSource does (a pending script prefix is neither used nor consumed)
// and answers, in `textCrc`, the text CRC a compile would record for it;
// false when no file is found or it cannot be read. A cache of compiled
// libraries asks it whether each source a library was compiled from is
// still the one a compile would read.
//
// The back end (symbol tables, semantic checks, code generation and the
// library writer) plugs in through GSCompilerBackEnd. Without one, a
// source that parses counts as checked, and code generation fails (so a
// compile ends with "\nInternal Code Generation Error..." and no library).
//
// Not thread-safe: the include list and the parser are process-wide; one
// compile at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/stream/ByteBuffer.h"
#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/CompileLog.h"
#include "gscompiler/GSParse.h"
#include "gscompiler/ParseNode.h"

// One source read for a unit.
struct SourceDependency {
  std::string name;      // file name without folder, lower-cased
  std::string searched;  // the name as the include list was searched for it
  uint32_t textCrc = 0;
  uint32_t nameCrc = 0;
  uint32_t index = 0;  // order of first reading; the top source is 0
};

struct CompileContext : GSCompiler::CompileDiagnostics {
  CompileContext(GSCompiler::ParseArena& parseArena, CompileLog* compileLog) : arena(&parseArena) {
    log = compileLog;
  }
  CompileContext(const CompileContext&) = delete;
  CompileContext& operator=(const CompileContext&) = delete;

  void SetFileName(std::string_view name) {
    name_ = name;
    fileName = name_.c_str();
  }
  const std::string& FileName() const { return name_; }

  GSCompiler::ParseArena* arena;
  ParseNode* root = nullptr;
  uint32_t textCrc = 0;
  uint32_t nameCrc = 0;

 private:
  std::string name_;
};

class CompileUnit {
 public:
  static constexpr size_t kNameBufferSize = 512;

  CompileUnit() : top(arena, nullptr) {}
  CompileUnit(const CompileUnit&) = delete;
  CompileUnit& operator=(const CompileUnit&) = delete;

  // Forgets every tree and source and resets the top context.
  void Clear();
  const SourceDependency* FindDependency(std::string_view name) const;

  GSCompiler::ParseArena arena;
  std::vector<SourceDependency> dependencies;
  CompileLog* log = nullptr;
  CompileContext top;
  // The folder the top source is read from, alone; empty: the include list
  // is searched for it. The caller's choice: Clear keeps it.
  std::string topFolder;
};

// The later stages of a compile. Each hook may be null.
struct GSCompilerBackEnd {
  // Checks one source whose includes compiled without errors (the top
  // source fully, the others in declarations-only mode); answers the
  // context's error count.
  uint32_t (*checkSource)(CompileUnit& unit, CompileContext& context,
                          const SourceDependency& source, bool isTop);
  // Generates the unit's code; false on failure.
  bool (*generateCode)(CompileUnit& unit);
  // Writes the unit's library into `out`; false on failure.
  bool (*writeLibrary)(CompileUnit& unit, ByteBuffer& out);
};

// Installs the back end (null: none; parsing only, and code generation
// fails). Until a caller installs one, the standard back end is used:
// semantic checks, code generation and the library writer. The object must
// outlive its use.
void GSCompilerSetBackEnd(const GSCompilerBackEnd* backEnd);
const GSCompilerBackEnd* GSCompilerGetBackEnd();

uint32_t GSCompileUnit(CompileUnit& unit, const char* name, CompileLog* log);
uint32_t GSCompileSource(CompileUnit& unit, const char* name, CompileContext& context, bool isTop);
int GSReadSource(const char* name, CompileContext& context, bool confined);
bool GSSourceTextCrc(const char* name, bool confined, uint32_t* textCrc);
