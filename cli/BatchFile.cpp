#include "cli/BatchFile.h"

#include <cstdio>
#include <iostream>

#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "cli/RunCommand.h"
#include "cli/ValidateLinePipeline.h"
#include "kiv/OS.h"

std::vector<std::string> SplitBatchLine(const std::string& line) {
  // Cut at the first line break after the first byte.
  std::string text = line;
  size_t cut = text.find_first_of("\r\n", 1);
  if (cut != std::string::npos) text.resize(cut);
  std::string framed = (text.empty() || text[0] != ' ') ? " " + text + " " : text + " ";

  std::vector<std::string> args;
  size_t start = std::string::npos;
  bool inQuotes = false;
  for (size_t i = 0; i < framed.size(); ++i) {
    char c = framed[i];
    if (c == '"' && !inQuotes) {
      start = i + 1;
      inQuotes = true;
    } else if (c == '"') {
      args.push_back(framed.substr(start, i - start));
      start = std::string::npos;
      inQuotes = false;
    } else if (c == ' ' && !inQuotes) {
      if (start != std::string::npos) args.push_back(framed.substr(start, i - start));
      start = i + 1;
    }
  }
  return args;
}

bool BatchLineReader::Fill() {
  if (pos_ < end_) return true;
  pos_ = 0;
  end_ = file_.Read(buffer_, 1, sizeof(buffer_));
  return end_ > 0;
}

bool BatchLineReader::Eof() {
  return delivered_ && !Fill();
}

void BatchLineReader::ReadLine(std::string* line, bool* fits) {
  line->clear();
  *fits = true;
  size_t length = 0;            // Bytes of the line's text, its line break not counted.
  bool carriageReturn = false;  // The last byte was a carriage return, not counted yet.
  bool any = false;
  while (Fill()) {
    any = true;
    char c = buffer_[pos_++];
    if (c == '\n') {
      if (*fits) line->push_back(c);
      break;
    }
    // A carriage return is text unless the line feed follows it, so a line
    // of carriage returns is bounded like any other.
    if (carriageReturn) ++length;
    carriageReturn = c == '\r';
    if (!carriageReturn) ++length;
    if (length > kMaxBatchLineLength) *fits = false;
    if (*fits) line->push_back(c);
  }
  if (!any && !delivered_) line->push_back('\n');
  if (!*fits) line->clear();
  delivered_ = true;
}

BatchCommandLine::BatchCommandLine(const char* programPath,
                                   const std::vector<std::string>& args) {
  storage_.reserve(args.size() + 1);
  storage_.emplace_back(programPath ? programPath : "");
  storage_.insert(storage_.end(), args.begin(), args.end());
  argv_.reserve(storage_.size() + 1);
  for (std::string& arg : storage_) argv_.push_back(arg.data());
  argv_.push_back(nullptr);
}

void PrintBatchLineResults(ResultsLog& log, std::ostream& out) {
  PrintCommandResults(log, out);
  out << std::endl;
}

namespace {

bool IsSkipped(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  char first = args.back().empty() ? '\0' : args.back()[0];
  return first == '\r' || first == '\n' || first == ' ';
}

int32_t RunLine(const std::vector<std::string>& args, EngineObjects& engine,
                const char* programPath) {
  // Each line finds a daemon as a separate run would, also when the one
  // the lines before used went away.
  VADClient::Reconnect();
  BatchCommandLine line(programPath, args);
  ResultsLog log;
  int32_t status = RunCommandGuarded(log, engine, line.Argc(), line.Argv());
  PrintBatchLineResults(log, std::cout);
  return status;
}

// A relative batch-file name is taken from the directory the tool was
// started in, not from the program's folder that start-up changed to.
std::string ResolveBatchPath(const char* name) {
  const char* start = GetStartDirectory();
  if (name[0] == '/' || start == nullptr || start[0] == '\0') return name;
  Kiv::File::Path path(start);
  path.AddPath(name);
  return path.Str();
}

}  // namespace

int32_t RunBatchFile(const char* name, EngineObjects& engine, const char* programPath) {
  if (name == nullptr || name[0] == '\0' || !Kiv::File::Exists(ResolveBatchPath(name))) {
    std::fprintf(stderr, "-The file \"%s\" does not exist, please specify a valid filename\n",
                 name ? name : "");
    return kBatchFileMissing;
  }
  Kiv::File file;
  if (!file.Open(ResolveBatchPath(name), Kiv::File::kRead, 0)) {
    std::fprintf(stderr, "-The file \"%s\" could not be opened\n", name);
    return -1;
  }
  BatchLineReader reader(file);
  ValidateLinePipeline validations(engine, programPath, std::cout);
  // With the engine log on standard output ("-kivlog"), its lines stay
  // among the results of the line that wrote them: lines run one by one.
  const bool overlap = engine.os == nullptr || !engine.os->GetOptions().Has("LogStdOut");
  int32_t status = 0;
  uint32_t lineNumber = 0;
  std::string line;
  do {
    ++lineNumber;
    bool fits = true;
    reader.ReadLine(&line, &fits);
    if (!fits) {
      // What the lines before printed comes first.
      if (!validations.Drain()) status = -1;
      std::fprintf(stderr, "-Line %u of \"%s\" is longer than %zu characters; it was not run\n",
                   lineNumber, name, kMaxBatchLineLength);
      status = -1;
      continue;
    }
    std::vector<std::string> args = SplitBatchLine(line);
    if (IsSkipped(args)) continue;
    if (overlap && ValidateLinePipeline::Takes(args)) {
      validations.Submit(args);
      continue;
    }
    if (!validations.Drain()) status = -1;
    if (RunLine(args, engine, programPath) != 0) status = -1;
  } while (!reader.Eof());
  if (!validations.Drain()) status = -1;
  file.Close();
  return status;
}
