#include "assetdb/client/ScriptLibraryCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "foundation/base/LogMessage.h"
#include "foundation/diag/LogFileName.h"
#include "foundation/threads/JobDeadline.h"
#include "gscompiler/CompileUnit.h"
#include "gscompiler/ReplaceFile.h"
#include "gscompiler/bytecode/GslLibraryReader.h"
#include "gsruntime/GSMachine.h"
#include "kiv/File.h"

namespace {

using GSLibraryFormat::GslLibraryId;

constexpr char kRecordHead[] = "script library sources 1";
constexpr char kRecordSuffix[] = ".sources";
// A record longer than this is not one the cache wrote.
constexpr int64_t kMaxRecordBytes = 1 << 20;
// Create or empty a file for writing.
constexpr uint32_t kOpenWriteEntry = 0x302;
// The cache names its own files: they are looked up exactly as named, and
// read only when they are regular files, opened without waiting: a pipe in
// their place is refused at once.
constexpr uint32_t kOpenReadEntry =
    Kiv::File::kRead | Kiv::File::kRegularOnly | Kiv::File::kExactCase;

struct RecordLine {
  GslLibraryId id{};
  std::string searched;
};

Kiv::String RecordPath(const Kiv::String& libraryPath) {
  return libraryPath + kRecordSuffix;
}

// The whole file when it can be read and holds at most `limit` bytes.
bool ReadWhole(const Kiv::String& path, int64_t limit, std::vector<uint8_t>* bytes) {
  Kiv::File file;
  if (!file.Open(path, kOpenReadEntry)) return false;
  const int64_t size = file.Size();
  if (size <= 0 || size > limit) return false;
  bytes->resize(static_cast<size_t>(size));
  return file.Read(bytes->data(), static_cast<uint32_t>(size)) == static_cast<uint32_t>(size);
}

bool ParseRecordLine(const std::string& line, RecordLine* out) {
  unsigned text = 0;
  unsigned name = 0;
  int used = 0;
  if (std::sscanf(line.c_str(), "%8x %8x %n", &text, &name, &used) != 2 || used != 18) return false;
  if (line[8] != ' ' || line[17] != ' ' || line.size() == 18u) return false;
  out->id = GslLibraryId{text, name};
  out->searched = line.substr(18);
  return true;
}

// The record beside `libraryPath`; false when it is missing or not one the
// cache wrote.
bool ReadRecord(const Kiv::String& libraryPath, std::vector<RecordLine>* lines) {
  std::vector<uint8_t> bytes;
  if (!ReadWhole(RecordPath(libraryPath), kMaxRecordBytes, &bytes)) return false;
  const std::string text(bytes.begin(), bytes.end());
  size_t at = 0;
  bool head = true;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (head) {
      if (line != kRecordHead) return false;
      head = false;
      continue;
    }
    RecordLine parsed;
    if (!ParseRecordLine(line, &parsed)) return false;
    lines->push_back(std::move(parsed));
  }
  return !head && !lines->empty();
}

// True when every source the record names after the top one, searched for
// now as an include, is the one the library was compiled from. The top
// source is the caller's file, whose text CRC is the library's id.
bool SourcesUnchanged(const std::vector<RecordLine>& lines) {
  for (size_t i = 1; i < lines.size(); ++i) {
    uint32_t textCrc = 0;
    if (!GSSourceTextCrc(lines[i].searched.c_str(), true, &textCrc)) return false;
    if (textCrc != lines[i].id.textCrc) return false;
  }
  return true;
}

// kSound when `bytes` read whole as a library with id (textCrc, nameCrc)
// whose dependency chunk, in `sources`, names it first.
CachedLibrary CheckBytes(const std::vector<uint8_t>& bytes, uint32_t textCrc, uint32_t nameCrc,
                         std::vector<GslLibraryId>* sources) {
  GSLibraryFormat::GslLibrary library;
  std::string error;
  if (!GSLibraryFormat::ReadGsl(bytes, library, error)) return CachedLibrary::kUnsound;
  const GslLibraryId id{textCrc, nameCrc};
  if (library.header.textCrc != textCrc || library.header.nameCrc != nameCrc ||
      library.dependencies.empty() || !(library.dependencies.front() == id))
    return CachedLibrary::kUnsound;
  *sources = std::move(library.dependencies);
  return CachedLibrary::kSound;
}

// Writes one file of the cache as a lasting effect of the job; false after
// logging that it could not be (the disk full, something in the way that
// could not be removed, the job's time up).
bool SaveEntry(const Kiv::String& path, const void* data, size_t size) {
  const JobCommit saved = JobDeadlineCommit(path, [&] {
    return ReplaceFile(Kiv::File::Path(path), kOpenWriteEntry,
                       {FileBytes{data, static_cast<uint32_t>(size)}});
  });
  if (saved == JobCommit::kDone) return true;
  LogMessage("ScriptLibraryCache> could not write '%s'; its library is compiled again next time",
             path.c_str());
  return false;
}

// Removes what lies at `path`, one of the cache's own names: a file, a pipe
// or a link (the link itself, never what it leads to), or a folder with
// everything in it, whose links are removed as links.
void RemoveEntry(const Kiv::String& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    Kiv::File::Prune(path);
    return;
  }
  Kiv::File::Unlink(path);
}

// The sources of the library last announced under each id.
std::unordered_map<uint64_t, std::vector<GslLibraryId>>& AnnouncedSources() {
  static std::unordered_map<uint64_t, std::vector<GslLibraryId>> announced;
  return announced;
}

// What keeps `folder` from serving as the cache; empty when it can.
std::string CacheFolderProblem(const char* folder) {
  struct stat info {};
  if (::stat(folder, &info) != 0) {
    const int error = errno;
    if (::lstat(folder, &info) == 0 && S_ISLNK(info.st_mode))
      return "it is a link that leads nowhere";
    return std::string("it cannot be reached: ") + std::strerror(error);
  }
  if (!S_ISDIR(info.st_mode)) return "it is not a folder";
  if (::faccessat(AT_FDCWD, folder, W_OK | X_OK, AT_EACCESS) != 0)
    return std::string("it cannot be written: ") + std::strerror(errno);
  return std::string();
}

}  // namespace

bool PrepareLibraryCache(const Kiv::String& folder) {
  MakeDirectory(folder.c_str());
  const std::string problem = CacheFolderProblem(folder.c_str());
  if (problem.empty()) return true;
  static std::string lastSaid;
  const std::string said = folder + "\n" + problem;
  if (said != lastSaid) {
    LogMessage(
        "ScriptLibraryCache> the compiled-script cache '%s' cannot be used (%s); scripts "
        "are compiled without it",
        folder.c_str(), problem.c_str());
    lastSaid = said;
  }
  return false;
}

CachedLibrary ReadCachedLibrary(const Kiv::String& path, uint32_t textCrc, uint32_t nameCrc,
                                int64_t limit, CheckedLibrary* out, int64_t* size) {
  Kiv::File file;
  if (!file.Open(path, kOpenReadEntry)) {
    return Kiv::File::Exists(path, Kiv::File::NameCase::kExact) ? CachedLibrary::kUnsound
                                                                : CachedLibrary::kMissing;
  }
  *size = file.Size();
  if (*size > limit) return CachedLibrary::kTooLarge;
  if (*size <= 0) return CachedLibrary::kUnsound;
  std::vector<uint8_t> bytes(static_cast<size_t>(*size));
  if (file.Read(bytes.data(), static_cast<uint32_t>(*size)) != static_cast<uint32_t>(*size))
    return CachedLibrary::kUnsound;
  file.Close();
  std::vector<GslLibraryId> sources;
  if (CheckBytes(bytes, textCrc, nameCrc, &sources) != CachedLibrary::kSound)
    return CachedLibrary::kUnsound;
  std::vector<RecordLine> lines;
  if (!ReadRecord(path, &lines) || lines.size() != sources.size()) return CachedLibrary::kUnsound;
  for (size_t i = 0; i < lines.size(); ++i)
    if (!(lines[i].id == sources[i])) return CachedLibrary::kUnsound;
  if (!SourcesUnchanged(lines)) return CachedLibrary::kUnsound;
  out->id = GslLibraryId{textCrc, nameCrc};
  out->bytes = std::move(bytes);
  out->sources = std::move(sources);
  return CachedLibrary::kSound;
}

CachedLibrary CheckCompiledLibrary(std::vector<uint8_t> compiled, uint32_t textCrc,
                                   uint32_t nameCrc, int64_t limit, CheckedLibrary* out) {
  if (static_cast<int64_t>(compiled.size()) > limit) return CachedLibrary::kTooLarge;
  std::vector<GslLibraryId> sources;
  const CachedLibrary checked = CheckBytes(compiled, textCrc, nameCrc, &sources);
  if (checked != CachedLibrary::kSound) return checked;
  out->id = GslLibraryId{textCrc, nameCrc};
  out->bytes = std::move(compiled);
  out->sources = std::move(sources);
  return CachedLibrary::kSound;
}

void SaveCachedLibrary(const Kiv::String& libraryPath, const CheckedLibrary& library,
                       const std::vector<SourceDependency>& sources) {
  if (!SaveEntry(libraryPath, library.bytes.data(), library.bytes.size())) return;
  std::string text = std::string(kRecordHead) + "\n";
  for (const SourceDependency& source : sources) {
    if (source.searched.empty() || source.searched.find_first_of("\r\n") != std::string::npos)
      return;
    char crcs[24];
    std::snprintf(crcs, sizeof crcs, "%08x %08x ", source.textCrc, source.nameCrc);
    text += crcs + source.searched + "\n";
  }
  SaveEntry(RecordPath(libraryPath), text.data(), text.size());
}

void RemoveCachedLibrary(const Kiv::String& libraryPath) {
  RemoveEntry(libraryPath);
  RemoveEntry(RecordPath(libraryPath));
}

void AnnounceCachedLibrary(const Kiv::String& libraryPath, CheckedLibrary library) {
  GSMachine* machine = GetGSMachine();
  const GslLibraryId id = library.id;
  const uint64_t key = (uint64_t{id.textCrc} << 32) | id.nameCrc;
  auto& announced = AnnouncedSources();
  const auto known = announced.find(key);
  if (known != announced.end() && known->second != library.sources) machine->UnloadLibrary(id);
  std::vector<GslLibraryId> sources = library.sources;
  if (machine->AddLibraryImage(libraryPath, std::move(library.bytes), nullptr))
    announced[key] = std::move(sources);
}

void ForgetAnnouncedLibraries() {
  auto& announced = AnnouncedSources();
  if (announced.empty()) return;
  GetGSMachine()->ForgetLibraryImages();
  announced.clear();
}
