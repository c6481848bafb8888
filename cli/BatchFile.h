// Batch files: "VandruUtil @<file>" runs every line of a text file as one
// command line.
//
// SplitBatchLine turns one line into arguments: the text is cut at its first
// carriage return or line feed after the first byte, framed with a blank in
// front (unless it begins with one) and one at the end, and split at blanks;
// a double-quoted stretch is one argument without its quotes, blanks
// included. Two blanks in a row give an empty argument; bytes between a
// closing quote and the next blank, and before an opening quote, belong to
// no argument; an unclosed quote drops the rest of the line. A line that is
// a lone line break gives the single argument made of that line break.
//
// BatchLineReader reads a file line by line, each line with its line break
// (so an empty line comes out as a lone line break, which RunBatchFile
// skips; an empty file gives one lone line break). A line whose text
// (without its line break: a line feed, or a carriage return and a line
// feed, or a carriage return at the end of the file) is longer than
// kMaxBatchLineLength bytes is reported as too long and not delivered,
// never split into two commands.
//
// RunBatchFile runs the lines of `name` (a relative name is taken from the
// directory the tool was started in, GetStartDirectory). Each line finds a
// daemon as a separate run of the tool would (VADClient::Reconnect before
// it): when the daemon goes away, the line in flight fails and the next
// one starts or finds a daemon. For each line, arguments from
// SplitBatchLine after `programPath`; a line whose last argument begins with a carriage return,
// line feed or blank is skipped; otherwise the command runs through RunCommandGuarded with a fresh
// ResultsLog, the log is printed followed by one more line end. A refused (too long) line writes a
// message to standard error. The answer is 0 when every line that ran answered 0 and no line was
// refused, -1 otherwise; the remaining lines always run. Consecutive
// "validate" lines run with several in flight (cli/ValidateLinePipeline.h);
// what they print, its order and the answer are those of a one-by-one run,
// which is kept when the engine log goes to standard output ("-kivlog"). A
// file that does not
// exist writes "-The file "<name>" does not exist, please specify a valid
// filename" to standard error and answers kBatchFileMissing; one that exists
// but cannot be read (a folder, no permission) writes "-The file "<name>"
// could not be opened" and answers -1.
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/EngineObjects.h"
#include "kiv/File.h"

class ResultsLog;

constexpr size_t kMaxBatchLineLength = 511;
constexpr int32_t kBatchFileMissing = INT32_MIN;

std::vector<std::string> SplitBatchLine(const std::string& line);

class BatchLineReader {
 public:
  explicit BatchLineReader(Kiv::File& file) : file_(file) {}

  // The next line with its line break; false in `*fits` when it was too
  // long (then `*line` is empty). Reading past the end gives a lone "\n".
  void ReadLine(std::string* line, bool* fits);
  // True when every byte of the file has been delivered.
  bool Eof();

 private:
  bool Fill();

  Kiv::File& file_;
  char buffer_[4096];
  size_t pos_ = 0;
  size_t end_ = 0;
  bool delivered_ = false;
};

int32_t RunBatchFile(const char* name, EngineObjects& engine, const char* programPath);

// The command line of one batch line: the program path (empty when null),
// then the line's arguments. Owns its strings; argv ends with a null.
class BatchCommandLine {
 public:
  BatchCommandLine(const char* programPath, const std::vector<std::string>& args);
  BatchCommandLine(const BatchCommandLine&) = delete;
  BatchCommandLine& operator=(const BatchCommandLine&) = delete;

  int Argc() const { return static_cast<int>(storage_.size()); }
  char** Argv() { return argv_.data(); }

 private:
  std::vector<std::string> storage_;
  std::vector<char*> argv_;
};

// Prints what one batch line reported: the log, then one more line end.
void PrintBatchLineResults(ResultsLog& log, std::ostream& out);
