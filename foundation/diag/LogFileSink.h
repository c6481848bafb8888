// The optional log-file sink: a file that receives every LogLine.
//
// A sink is built with a file name and a folder (both as OpenLogFile takes
// them) and installed process-wide with InstallLogFileSink; none is
// installed by default. The caller owns the sink and must uninstall it
// (InstallLogFileSink(nullptr)) before destroying it.
//
// Open chooses a fresh path (the first free name, OpenLogFile), creates the
// file, empty, and writes "\r\n" into it; up to 5 attempts are made, so a
// name taken by another process meanwhile is skipped. WriteLine opens the
// file when none is open (the chosen path again, appended to, after a
// Close) and writes the line; when the file cannot be opened the line is
// dropped (so are lines logged while the sink itself is opening, such as a
// MakeDirectory failure). Lines are passed complete (with their "\r\n"); each line, and
// each notice with its time stamp, goes to the file in one Write, so lines
// of different threads never mix.
//
// Repeats: a line equal to the line written just before it is held back
// and counted (unless the sink is immediate). The next different line, or
// Close, first writes "[<n> lines suppressed]\r\n", preceded by the time
// stamp "yy.mm.dd  hh:mm:ss.cc| " (local time, hundredths) when the
// settings ask for time stamps (LogFileSettings::time_stamps).
// MakeImmediate turns holding back off and flushes after every line.
//
// Threads: every operation takes the log output lock, then the sink's own
// mutex; any thread may call them. The destructor closes the file.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "foundation/base/OSMutex.h"
#include "foundation/diag/DolmDataBufferFile.h"

class LogFileSink {
 public:
  LogFileSink(std::string name, std::string folder);
  ~LogFileSink();
  LogFileSink(const LogFileSink&) = delete;
  LogFileSink& operator=(const LogFileSink&) = delete;

  void WriteLine(std::string_view line);
  bool Open();
  void Close();
  void MakeImmediate();

  // The chosen path ("" until one was chosen).
  std::string GetPath() const;

 private:
  bool OpenLocked();
  void EnsureOpenLocked();
  void WriteHeldBackLocked();
  void WriteLocked(const std::string& text);

  std::string reference_line_;
  int repeat_count_ = 0;
  std::string name_;
  std::string folder_;
  std::string path_;
  std::unique_ptr<DolmDataBufferFile> file_;
  bool immediate_ = false;
  bool busy_ = false;  // A write or open is under way (re-entry guard).
  mutable OS::Mutex mutex_;
};

// Installs `sink` (null removes it); answers the sink installed before.
LogFileSink* InstallLogFileSink(LogFileSink* sink);
LogFileSink* GetLogFileSink();

// The time-stamp prefix for `seconds` since the epoch (local time) and
// `hundredths` of a second, e.g. "24.03.07  13:05:09.42| ".
std::string LogTimeStamp(long long seconds, int hundredths);
