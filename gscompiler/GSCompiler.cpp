#include "gscompiler/GSCompiler.h"

#include "foundation/threads/JobDeadline.h"
#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/CompileUnit.h"
#include "gscompiler/ReplaceFile.h"
#include "kiv/String.h"

namespace {

constexpr uint32_t kLibraryBufferSize = 1024;
// Create or empty a file for writing.
constexpr uint32_t kOpenWriteLibrary = 0x302;

// The unit's file name with its extension replaced by ".gsl".
Kiv::String LibraryFileName(const Kiv::String& unitName) {
  const size_t dot = unitName.rfind('.');
  return (dot == Kiv::String::npos ? unitName : unitName.substr(0, dot)) + ".gsl";
}

// Runs the library writer; false when it fails or its buffer could not
// grow (a short library must never be written as a good one).
bool WriteLibrary(CompileUnit& unit, ByteBuffer& buffer) {
  const GSCompilerBackEnd* backEnd = GSCompilerGetBackEnd();
  if (backEnd == nullptr || backEnd->writeLibrary == nullptr) return false;
  if (!buffer.Init(kLibraryBufferSize)) return false;
  return backEnd->writeLibrary(unit, buffer) && buffer.errors == 0;
}

// Writes the library as a lasting effect of a bounded job (a job whose time
// is up writes nothing, and a job stopped later takes its library away);
// false after logging why not, `failure` when the write failed.
bool SaveLibrary(const Kiv::File::Path& path, const ByteBuffer& buffer, CompileLog* log,
                 const Kiv::String& failure) {
  const JobCommit saved = JobDeadlineCommit(path.Str(), [&] {
    return ReplaceFile(path, kOpenWriteLibrary, {FileBytes{buffer.Data(), buffer.size}});
  });
  if (saved == JobCommit::kDone) return true;
  CompileLogAppend(
      log, saved == JobCommit::kStopped ? GSCompiler::kCompileStoppedText : failure.c_str());
  return false;
}

}  // namespace

int GSCompileFile(const char* source, const char* output, const IncludePathList* includes,
                  CompileLog* log) {
  if (source == nullptr) return 1;
  const Kiv::File::Path sourcePath(source);
  IncludePathList& searched = GSCompilerIncludePaths();
  PathListClear(searched);
  Kiv::File::Path sourceFolder = sourcePath;
  sourceFolder.DelName();
  searched.Append(sourceFolder);
  if (includes != nullptr) {
    for (const IncludePathEntry& entry : includes->Entries()) {
      searched.Append(entry.path, entry.container);
    }
  }

  const Kiv::String unitName = sourcePath.Name();
  CompileUnit unit;
  const uint32_t errors = GSCompileUnit(unit, unitName.c_str(), log);

  Kiv::File::Path outputFile(output != nullptr ? output : source);
  outputFile.DelName();
  outputFile.AddPath(LibraryFileName(unitName));
  if (errors != 0) return int(errors);

  ByteBuffer buffer;
  if (!WriteLibrary(unit, buffer)) {
    CompileLogAppend(log, "Internal Compiler Error.\n");
    return 1;
  }
  if (!SaveLibrary(outputFile, buffer, log, "Unable to open output file.\n")) return 1;
  return 0;
}

int GSCompileToLibrary(const char* name, const char* output, CompileLog* log,
                       CompiledLibrary* compiled, const char* topFolder) {
  if (name == nullptr) return 0;
  CompileUnit unit;
  if (topFolder != nullptr) unit.topFolder = topFolder;
  const uint32_t errors = GSCompileUnit(unit, name, log);
  if (errors != 0) return int(errors);

  ByteBuffer buffer;
  if (!WriteLibrary(unit, buffer)) {
    CompileLogAppend(
        log, ("Internal Compiler Error on '" + GSCompiler::ShownName(log, name) + "'.\n").c_str());
    return 1;
  }
  if (output != nullptr &&
      !SaveLibrary(Kiv::File::Path(output), buffer, log,
                   "Unable to open output file: '" + GSCompiler::ShownName(log, output) + "'.\n"))
    return 1;
  if (compiled != nullptr) {
    compiled->bytes.assign(buffer.Data(), buffer.Data() + buffer.size);
    compiled->sources = unit.dependencies;
  }
  return 0;
}
