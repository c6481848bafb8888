// "compile" and "encrypt": the script compiler and the script encoder, run
// in the directory the tool was started in.
#include "cli/CommandArgs.h"
#include "cli/Commands.h"
#include "cli/StartDirectoryScope.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/ScriptFile.h"
#include "kiv/File.h"

namespace {

constexpr const char* kInvalidFilePath = "Invalid file path.";

// The source path with its extension replaced by "gse".
Kiv::File::Path EncodedPath(const Kiv::File::Path& source) {
  Kiv::String text = source.Str();
  text.resize(text.size() - source.Extension().size());
  text += "gse";
  return Kiv::File::Path(text);
}

}  // namespace

// Hands the whole command line to the compiler, with the command word
// blanked so that the compiler does not take it for the source. The
// compiler reads its paths relative to the start directory.
int32_t CompileCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  StartDirectoryScope scope;
  if (!HasFirstArgument(argc, argv) || !scope.Entered()) {
    AddCommandError(log, kInvalidFilePath);
    return kCommandFailed;
  }
  static char blank[] = "";
  char* const word = argv[1];
  argv[1] = blank;
  const int errors = GSCompilerMain(argc, argv);
  argv[1] = word;
  return errors == 0 ? kCommandSucceeded : kCommandFailed;
}

// Encodes a ".gs" source into a ".gse" file beside it. A file that cannot be
// written is a failure (and an existing ".gse" stays as it was).
int32_t EncryptCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  StartDirectoryScope scope;
  if (!HasFirstArgument(argc, argv) || !scope.Entered()) {
    AddCommandError(log, kInvalidFilePath);
    return kCommandFailed;
  }
  const Kiv::File::Path source(ArgumentText(argc, argv, 2));
  if (!source.IsExt("gs")) {
    AddCommandError(log, kInvalidFilePath);
    return kCommandFailed;
  }
  ScriptFile script;
  if (!script.Load("", source)) {
    AddCommandError(log, kInvalidFilePath);
    return kCommandFailed;
  }
  if (!script.Save("", EncodedPath(source))) {
    AddCommandError(log, "Failed to write output file.");
    return kCommandFailed;
  }
  return kCommandSucceeded;
}
