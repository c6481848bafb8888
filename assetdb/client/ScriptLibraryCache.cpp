#include "assetdb/client/ScriptLibraryCache.h"

#include <cstdio>
#include <string>
#include <unordered_map>
#include <utility>

#include "foundation/base/LogMessage.h"
#include "foundation/threads/JobDeadline.h"
#include "gscompiler/CompileUnit.h"
#include "gscompiler/bytecode/GslLibraryReader.h"
#include "gsruntime/GSMachine.h"

namespace {

using GSLibraryFormat::GslLibraryId;

constexpr char kRecordHead[] = "script library sources 1";
constexpr char kRecordSuffix[] = ".sources";
// A record longer than this is not one the cache wrote.
constexpr int64_t kMaxRecordBytes = 1 << 20;

struct RecordLine {
  GslLibraryId id{};
  std::string searched;
};

Kiv::String RecordName(const Kiv::String& libraryName) {
  return libraryName + kRecordSuffix;
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

// The record beside the library `libraryName`; false when it is missing
// or not one the cache wrote.
bool ReadRecord(const LibraryCacheFolder& folder, const Kiv::String& libraryName,
                std::vector<RecordLine>* lines) {
  std::vector<uint8_t> bytes;
  int64_t size = 0;
  if (folder.ReadEntry(RecordName(libraryName), kMaxRecordBytes, &bytes, &size) !=
      LibraryCacheFolder::Entry::kRead)
    return false;
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
bool SaveEntry(const LibraryCacheFolder& folder, const Kiv::String& name, const void* data,
               size_t size) {
  const Kiv::String path = folder.EntryPath(name);
  const JobCommit saved = JobDeadlineCommit([&] { return folder.WriteEntry(name, data, size); },
                                            folder.Remover(name));
  if (saved == JobCommit::kDone) return true;
  LogMessage("ScriptLibraryCache> could not write '%s'; its library is compiled again next time",
             path.c_str());
  return false;
}

// The sources of the library last announced under each id.
std::unordered_map<uint64_t, std::vector<GslLibraryId>>& AnnouncedSources() {
  static std::unordered_map<uint64_t, std::vector<GslLibraryId>> announced;
  return announced;
}

}  // namespace

CachedLibrary ReadCachedLibrary(const LibraryCacheFolder& folder, const Kiv::String& name,
                                uint32_t textCrc, uint32_t nameCrc, int64_t limit,
                                CheckedLibrary* out, int64_t* size) {
  std::vector<uint8_t> bytes;
  switch (folder.ReadEntry(name, limit, &bytes, size)) {
    case LibraryCacheFolder::Entry::kRead:
      break;
    case LibraryCacheFolder::Entry::kMissing:
      return CachedLibrary::kMissing;
    case LibraryCacheFolder::Entry::kTooLarge:
      return CachedLibrary::kTooLarge;
    case LibraryCacheFolder::Entry::kRefused:
      return CachedLibrary::kUnsound;
  }
  std::vector<GslLibraryId> sources;
  if (CheckBytes(bytes, textCrc, nameCrc, &sources) != CachedLibrary::kSound)
    return CachedLibrary::kUnsound;
  std::vector<RecordLine> lines;
  if (!ReadRecord(folder, name, &lines) || lines.size() != sources.size()) return CachedLibrary::kUnsound;
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

void SaveCachedLibrary(const LibraryCacheFolder& folder, const Kiv::String& name,
                       const CheckedLibrary& library,
                       const std::vector<SourceDependency>& sources) {
  if (!SaveEntry(folder, name, library.bytes.data(), library.bytes.size())) return;
  std::string text = std::string(kRecordHead) + "\n";
  for (const SourceDependency& source : sources) {
    if (source.searched.empty() || source.searched.find_first_of("\r\n") != std::string::npos)
      return;
    char crcs[24];
    std::snprintf(crcs, sizeof crcs, "%08x %08x ", source.textCrc, source.nameCrc);
    text += crcs + source.searched + "\n";
  }
  SaveEntry(folder, RecordName(name), text.data(), text.size());
}

void RemoveCachedLibrary(const LibraryCacheFolder& folder, const Kiv::String& name) {
  folder.RemoveEntry(name);
  folder.RemoveEntry(RecordName(name));
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
