#include "gscompiler/CompileUnit.h"

#include <cstring>

#include "foundation/text/Crc32.h"
#include "foundation/threads/JobDeadline.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "gscompiler/IncludePathList.h"
#include "gscompiler/ScriptFile.h"
#include "kiv/File.h"
#include "kiv/String.h"

namespace {

// The back end in use: the standard one (semantic checks, code generation,
// library writer) until a caller installs another, or none.
bool g_backEndChosen = false;
const GSCompilerBackEnd* g_backEnd = nullptr;

const GSCompilerBackEnd* CurrentBackEnd() {
  return g_backEndChosen ? g_backEnd : GSStandardBackEnd();
}

using GSCompiler::ShownName;

// The line that follows the errors of a source that failed.
std::string WhileCompiling(const GSCompiler::CompileLogSink* log, const char* name) {
  return ".. while compiling '" + ShownName(log, name) + "'";
}

// The name's file part ("a/b.gs" and "a\b.gs" give "b.gs").
std::string FileNameOf(std::string_view name) {
  return Kiv::File::Path(name).Name();
}

bool EndsWithGse(std::string_view name) {
  return name.size() >= 4 && Kiv::EqualsIgnoreCase(name.substr(name.size() - 4), ".gse");
}

bool HasUtf8Mark(const char* text, uint32_t size) {
  return size >= 3 && uint8_t(text[0]) == 0xEF && uint8_t(text[1]) == 0xBB &&
         uint8_t(text[2]) == 0xBF;
}

void AppendTo(GSCompiler::CompileLogSink* log, const std::string& line) {
  if (log != nullptr) log->AppendLine(line);
}

void ReportUnreadable(CompileContext& context, const Kiv::PString& container) {
  AppendTo(context.log, Kiv::StringPrintf("Could not read file %s : %s.",
                                          ShownName(context.log, container.Text()).c_str(),
                                          ShownName(context.log, context.fileName).c_str()));
  ++context.errorCount;
}

// A plain source beyond what a source may hold gets a message of its own
// rather than "Could not read file"; true when it was reported.
bool ReportTooLarge(CompileContext& context, const Kiv::PString& container,
                    const Kiv::File::Path& path) {
  if (path.IsExt("gse")) return false;
  Kiv::File file;
  if (!file.Open(container, path.Str(), Kiv::File::kRead)) return false;
  if (file.Size() <= int64_t{ScriptFile::kMaxTextSize}) return false;
  AppendTo(context.log, Kiv::StringPrintf("%s is larger than %u bytes, the most a source may hold.",
                                          ShownName(context.log, context.fileName).c_str(),
                                          ScriptFile::kMaxTextSize));
  ++context.errorCount;
  return true;
}

struct FoundSource {
  bool found = false;
  Kiv::File::Path path;
  Kiv::PString container;  // of the last entry tried
};

// Looks for `name` in each of `folders` in order, then for its ".gse" form
// when it names a ".gs" file.
FoundSource FindSource(std::string_view name, bool confined,
                       const std::vector<IncludePathEntry>& folders) {
  FoundSource result;
  Kiv::File::Path relative(name);
  relative.ReplaceForwardSlashes();
  if (confined && !relative.StaysInside()) return result;
  for (const IncludePathEntry& entry : folders) {
    result.container = entry.container;
    Kiv::File::Path candidate = entry.path;
    candidate.AddPath(relative.Str());
    if (Kiv::File::Exists(entry.container, candidate.Str())) {
      result.found = true;
      result.path = candidate;
      return result;
    }
    if (!candidate.IsExt("gs")) continue;
    Kiv::File::Path encoded(candidate.Str() + "e");
    if (Kiv::File::Exists(entry.container, encoded.Str())) {
      result.found = true;
      result.path = encoded;
      return result;
    }
  }
  return result;
}

FoundSource FindSource(std::string_view name, bool confined) {
  return FindSource(name, confined, GSCompilerIncludePaths().Entries());
}

// Reads and parses the source found into `context`; 0 on success, 1 on
// failure (counted as an error of the context).
int ReadFoundSource(const FoundSource& source, CompileContext& context) {
  ScriptFile file;
  if (!source.found || !file.Load(source.container.Text(), source.path)) {
    if (source.found && ReportTooLarge(context, source.container, source.path)) return 1;
    ReportUnreadable(context, source.container);
    return 1;
  }
  const char* text = file.GetText();
  if (text == nullptr) {
    ++context.errorCount;
    return 1;
  }
  const uint32_t size = file.GetSize();
  if (HasUtf8Mark(text, size)) {
    AppendTo(context.log,
             Kiv::StringPrintf("'%s' appears to be UTF-8 encoded, please resave as ANSI.",
                               ShownName(context.log, context.fileName).c_str()));
    ++context.errorCount;
    return 1;
  }
  const uint32_t errorsBefore = context.errorCount;
  const GSCompiler::ParseResult parsed =
      GSCompiler::GSParseSource(text, size, context, *context.arena);
  if (parsed.status != 0 || parsed.root == nullptr) {
    // The parser counts its own errors; a failure it did not count still
    // fails the source.
    if (context.errorCount == errorsBefore) ++context.errorCount;
    return 1;
  }
  context.root = parsed.root;
  const uint32_t prefix = file.GetPrefixLength();
  context.textCrc = Crc32Buffer(text + prefix, size - prefix);
  context.nameCrc = Crc32LowerString(FileNameOf(context.FileName()).c_str());
  return 0;
}

// The top source of `unit`: from its own folder when the unit names one.
int ReadTopSource(const CompileUnit& unit, const char* name, CompileContext& context) {
  if (unit.topFolder.empty()) return ReadFoundSource(FindSource(name, false), context);
  const std::vector<IncludePathEntry> own{{Kiv::File::Path(unit.topFolder), Kiv::PString()}};
  return ReadFoundSource(FindSource(name, false, own), context);
}

}  // namespace

void GSCompilerSetBackEnd(const GSCompilerBackEnd* backEnd) {
  g_backEndChosen = true;
  g_backEnd = backEnd;
}

const GSCompilerBackEnd* GSCompilerGetBackEnd() {
  return CurrentBackEnd();
}

void CompileUnit::Clear() {
  arena.Reset();
  dependencies.clear();
  log = nullptr;
  top.log = nullptr;
  top.errorCount = top.warningCount = 0;
  top.refusedAtLimit = false;
  top.root = nullptr;
  top.textCrc = top.nameCrc = 0;
  top.SetFileName("");
}

const SourceDependency* CompileUnit::FindDependency(std::string_view name) const {
  for (const SourceDependency& d : dependencies) {
    if (d.name == name) return &d;
  }
  return nullptr;
}

int GSReadSource(const char* name, CompileContext& context, bool confined) {
  return ReadFoundSource(FindSource(name, confined), context);
}

bool GSSourceTextCrc(const char* name, bool confined, uint32_t* textCrc) {
  const FoundSource source = FindSource(name, confined);
  if (!source.found) return false;
  // The prefix belongs to the next compile, not to this look.
  const Kiv::PString pending = PendingScriptPrefix;
  PendingScriptPrefix = Kiv::PString();
  ScriptFile file;
  const char* text = file.Load(source.container.Text(), source.path) ? file.GetText() : nullptr;
  PendingScriptPrefix = pending;
  if (text == nullptr) return false;
  *textCrc = Crc32Buffer(text, file.GetSize());
  return true;
}

uint32_t GSCompileSource(CompileUnit& unit, const char* name, CompileContext& context, bool isTop) {
  context.SetFileName(Kiv::AsciiLower(name));
  if ((isTop ? ReadTopSource(unit, name, context) : GSReadSource(name, context, true)) != 0)
    return 1;

  SourceDependency self;
  self.name = FileNameOf(context.FileName());
  self.searched = name;
  if (unit.FindDependency(self.name) != nullptr) {
    CompileLogAppend(unit.log, "Internal Compiler Error.");
    return 1;
  }
  self.textCrc = context.textCrc;
  self.nameCrc = context.nameCrc;
  self.index = uint32_t(unit.dependencies.size());
  unit.dependencies.push_back(self);

  uint32_t errors = 0;
  for (const ParseNode* node = context.root; node != nullptr; node = node->next) {
    if (!node->Is(ParseNode::NodeDeclaration, ParseNode::IncludeDecl)) continue;
    const ParseNode* fileName = node->child[0];
    if (fileName == nullptr || fileName->text == nullptr) continue;
    if (unit.FindDependency(FileNameOf(fileName->Text())) != nullptr) continue;
    CompileContext included(unit.arena, unit.log);
    const uint32_t includeErrors = GSCompileSource(unit, fileName->Text(), included, false);
    if (includeErrors != 0) {
      CompileLogAppend(unit.log, WhileCompiling(unit.log, fileName->Text()).c_str());
    }
    errors += includeErrors;
  }
  if (errors != 0) return errors;
  if (context.root == nullptr) return 1;

  const GSCompilerBackEnd* backEnd = CurrentBackEnd();
  if (backEnd == nullptr || backEnd->checkSource == nullptr) return context.errorCount;
  const SourceDependency copy = unit.dependencies[self.index];
  return backEnd->checkSource(unit, context, copy, isTop);
}

uint32_t GSCompileUnit(CompileUnit& unit, const char* name, CompileLog* log) {
  if (name == nullptr) return 0;
  unit.Clear();
  unit.log = log;
  unit.top.log = log;
  const size_t length = std::strlen(name);
  if (length >= CompileUnit::kNameBufferSize) {
    unit.top.SetFileName(name);
    ReportUnreadable(unit.top, Kiv::PString());
    CompileLogAppend(log, WhileCompiling(log, name).c_str());
    return 1;
  }
  std::string unitName(name, length);
  if (EndsWithGse(unitName)) unitName.pop_back();

  const uint32_t errors = GSCompileSource(unit, unitName.c_str(), unit.top, true);
  if (errors != 0) {
    CompileLogAppend(log, WhileCompiling(log, name).c_str());
    return errors;
  }
  if (JobDeadlinePassed()) {
    CompileLogAppend(log, GSCompiler::kCompileStoppedText);
    return 1;
  }
  const GSCompilerBackEnd* backEnd = CurrentBackEnd();
  const bool generated =
      backEnd != nullptr && backEnd->generateCode != nullptr && backEnd->generateCode(unit);
  // Only the library writer comes next, and it reads the generated code
  // and the symbols: the trees' nodes are freed (code generation may have
  // freed some already) before it needs memory.
  unit.top.root = nullptr;
  unit.arena.ReleaseNodes();
  if (!generated) {
    if (!unit.top.refusedAtLimit) CompileLogAppend(log, "\nInternal Code Generation Error...");
    return 1;
  }
  return 0;
}
