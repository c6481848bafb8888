// The compiler's message operations: every part of the compiler counts its
// errors and warnings and writes its lines through these.
//
// GSCompiler::CompileDiagnostics is the message half of a compile context:
// the error and warning counts, the name of the source being compiled (the
// file part of every report line) and the log the lines go to. The driver
// owns it (its compile context holds or derives from it), resets the counts
// before a compile, and keeps `fileName` and `log` alive while the compile
// uses them. A null log keeps no text; the counts still change.
//
// GSCompiler::CompileLogSink is where the lines go: the driver's compile
// log implements it. A line is handed over without a line break, and the
// sink copies it (the text is only valid during the call). ShownName gives
// a name or path (a source, an include, an output file) as the sink's lines
// show it: as it is, unless the sink prints its lines itself and so shows
// names escaped (CompileLog::ShowNamesEscaped). GSCompiler::ShownName(log,
// name) asks a log that may be null (the name as it is), for a name that
// may be null ("(null)").
//
// Line formats:
// - GSCompilerReport formats `format` into a text of at most 255
//   characters (longer text is cut), then writes "%s(%d) : %s" with the
//   file name as the log shows it, `line` and that text, again cut at 255
//   characters. A null file name prints as "(null)".
// - GSCompilerReportInFile does the same with an explicit file name (for
//   messages that belong to another file of the unit).
// - GSCompilerMessage writes the formatted text (at most 255 characters)
//   as a line of its own and counts nothing.
// The front end reports errors only (error flag set, warning flag clear).
//
// Nothing here fails: a null context does nothing; a format that cannot be
// formatted gives an empty text. Not thread-safe (one compile at a time).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace GSCompiler {

class CompileLogSink {
 public:
  virtual ~CompileLogSink() = default;
  virtual void AppendLine(std::string_view line) = 0;
  virtual std::string ShownName(std::string_view name) const { return std::string(name); }
};

std::string ShownName(const CompileLogSink* log, const char* name);

struct CompileDiagnostics {
  const char* fileName = nullptr;
  CompileLogSink* log = nullptr;
  uint32_t errorCount = 0;
  uint32_t warningCount = 0;
  // Set by the code generator when it refused the source at a limit of what
  // a library holds (a counted error it reported), so that the driver does
  // not report the failure a second time.
  bool refusedAtLimit = false;
};

// The longest message text and report line, in characters.
inline constexpr int kMaxMessageLength = 255;

// The counted error of a compile that a bounded job's deadline stopped
// (foundation/threads/JobDeadline.h): the scanner, the semantic pass and
// the code generator poll the deadline and end with this text.
inline constexpr char kCompileStoppedText[] = "Compile stopped: the job ran out of time.";

}  // namespace GSCompiler

void GSCompilerReport(GSCompiler::CompileDiagnostics* context, bool isError, bool isWarning,
                      int line, const char* format, ...) __attribute__((format(printf, 5, 6)));

void GSCompilerReportInFile(GSCompiler::CompileDiagnostics* context, bool isError, bool isWarning,
                            const char* fileName, int line, const char* format, ...)
    __attribute__((format(printf, 6, 7)));

void GSCompilerMessage(GSCompiler::CompileDiagnostics* context, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
