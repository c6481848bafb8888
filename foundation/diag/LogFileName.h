// Where log files and crash reports go: folder creation and the choice of a
// free file name.
//
// LogFileSettings (process-wide, guarded by a lock) hold the base folder
// that every log-file folder starts from, the default folder used when a
// caller gives none, whether a new file replaces an existing one, and
// whether held-back notices of a log-file sink carry a time stamp. All are
// empty / off by default, so files land in the working directory.
//
// OpenLogFile(folder, name, out) builds the folder as base + folder (or the
// default folder when `folder` is null or empty; a "/" is put between the
// two when needed), turns "\" into "/", ends a non-empty folder in "/",
// creates it with MakeDirectory and appends `name`. With replacing on, a
// file at that path is deleted and the path is the answer. Otherwise the
// answer is the first of "name", "stem_2.ext", "stem_3.ext" ... (the stem
// runs to the last "." of the last component; a name without one gets
// "name_2", "name_3" ...) at which nothing exists (a dangling link counts as
// existing). At most kMaxLogFileNumber names are tried; false when all are
// taken, when the folder cannot be created or a path would exceed
// kMaxLogFilePath bytes. Another process may take the chosen name before it
// is used: callers that must not share a file create it exclusively.
//
// MakeDirectory(path) creates a folder and its missing parents ("\" counts
// as "/"; one trailing separator is ignored). True when the folder exists
// after. A path that exists as something else fails with errno EEXIST and
// creates nothing. A failed mkdir is logged ("MakeDirectory> CreateDirectoryW
// returned err <errno>").
//
// ComposeNumberedPath is the async-signal-safe core of the name choice: it
// writes `path` itself (number < 2) or its numbered form into `out`
// (terminated); false when it does not fit in `capacity` bytes.
#pragma once

#include <cstddef>
#include <string>

constexpr int kMaxLogFileNumber = 9999;
constexpr size_t kMaxLogFilePath = 4096;

struct LogFileSettings {
  std::string base_folder;
  std::string default_folder;
  bool replace_existing = false;
  bool time_stamps = false;
};

void SetLogFileSettings(const LogFileSettings& settings);
LogFileSettings GetLogFileSettings();

bool OpenLogFile(const char* folder, const char* name, std::string* out);
bool MakeDirectory(const char* path);
bool FileExists(const char* path);

// The folder part of OpenLogFile (created, ending in "/" unless empty).
bool PrepareLogFileFolder(const char* folder, std::string* out);

bool ComposeNumberedPath(char* out, size_t capacity, const char* path, int number);
