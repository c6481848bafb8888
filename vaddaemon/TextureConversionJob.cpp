#include "vaddaemon/TextureConversionJob.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/base/LogMessage.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/PathHelpers.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/File.h"
#include "kiv/String.h"
#include "vaddaemon/CommandHostBroker.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/FolderTree.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kJobConvertTextures = 1;
constexpr uint32_t kAllConverted = 2;
// A description is a few lines; nothing past this is looked at.
constexpr size_t kMaxSourceBytes = 1u << 20;

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return std::string_view();
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// The modification time of `path` in nanoseconds; false when it is not
// there.
bool ModifiedAt(const std::string& path, int64_t* at) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  *at = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

// The existing file at `path`, found without regard to case; "" when none.
std::string Existing(const std::string& path) {
  return Kiv::File::Find::ResolveCase(Kiv::String(path));
}

// The full paths of the pictures the source at `path` names that exist;
// `*allFound` false when it names one that is not there or leads out of its
// folder.
std::vector<std::string> PicturesOf(const std::string& path, bool* allFound) {
  *allFound = true;
  std::vector<std::string> pictures;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  size_t read = 0;
  while (read < kMaxSourceBytes && std::getline(in, line)) {
    read += line.size() + 1;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string_view key = Trim(std::string_view(line).substr(0, equals));
    if (!Kiv::EqualsIgnoreCase(key, "Primary") && !Kiv::EqualsIgnoreCase(key, "Alpha")) continue;
    Kiv::File::Path name{std::string(Trim(std::string_view(line).substr(equals + 1)))};
    name.ReplaceForwardSlashes();
    if (name.Empty()) continue;
    if (!name.StaysInside()) {
      *allFound = false;
      continue;
    }
    Kiv::File::Path full(fs::path(path).parent_path().string());
    full.AddPath(name.Str());
    const std::string found = Existing(full.Str());
    if (found.empty()) *allFound = false;
    if (!found.empty()) pictures.push_back(found);
  }
  return pictures;
}

// Whether the source at `path` lacks an up-to-date compiled texture.
bool SourceNeedsConversion(const std::string& path, bool compareTimes) {
  const std::string compiled = Existing(path.substr(0, path.size() - 4));
  if (compiled.empty()) return true;
  if (!compareTimes) return false;
  // A conversion that cannot read every picture fails, and takes the
  // compiled texture with it: then that texture is all there is of them
  // (an archive carries no picture of some types), and it stays.
  bool allFound = true;
  const std::vector<std::string> pictures = PicturesOf(path, &allFound);
  if (!allFound) return false;
  int64_t compiledAt = 0;
  int64_t at = 0;
  if (!ModifiedAt(compiled, &compiledAt)) return true;
  if (ModifiedAt(path, &at) && at > compiledAt) return true;
  for (const std::string& picture : pictures) {
    if (ModifiedAt(picture, &at) && at > compiledAt) return true;
  }
  return false;
}

bool FolderNeedsConversion(const fs::path& folder, bool compareTimes, uint32_t depth) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const fs::file_status own = it->symlink_status(error);
    if (error) return false;
    if (fs::is_directory(own)) {
      if (depth < kMaxFolderDepth && FolderNeedsConversion(it->path(), compareTimes, depth + 1))
        return true;
      continue;
    }
    const std::string name = it->path().filename().string();
    if (fs::is_regular_file(own) && IsTextureSourceFile(name.c_str()) &&
        SourceNeedsConversion(it->path().string(), compareTimes))
      return true;
  }
  return false;
}

// True when `name` ends in `suffix`, compared without regard to ASCII case.
bool EndsWithIgnoringCase(const std::string& name, std::string_view suffix) {
  return name.size() > suffix.size() &&
         Kiv::EqualsIgnoreCase(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

// Gives each source that a conversion left below `folder` under its
// temporary name ("<name>.convert-tex.txt", any case) its name back
// ("<name>.texture.txt") when no file of that name is there; logs each.
void GiveSourceNamesBack(const fs::path& folder, uint32_t depth) {
  constexpr std::string_view kTemporary = ".convert-tex.txt";
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const fs::file_status own = it->symlink_status(error);
    if (error) return;
    if (fs::is_directory(own)) {
      if (depth < kMaxFolderDepth) GiveSourceNamesBack(it->path(), depth + 1);
      continue;
    }
    const std::string name = it->path().filename().string();
    if (!fs::is_regular_file(own) || !EndsWithIgnoringCase(name, kTemporary)) continue;
    const fs::path source =
        folder / (name.substr(0, name.size() - kTemporary.size()) + ".texture.txt");
    if (!Existing(source.string()).empty()) continue;
    if (std::rename(it->path().c_str(), source.c_str()) == 0)
      LogMessage("vaddaemon> gave the texture source %s its name back", source.c_str());
  }
}

std::vector<uint8_t> JobPayload(const std::string& folder) {
  Kiv::DynamicBuffer data;
  TBuffer job(&data);
  TStreamWriteU32(job, kJobConvertTextures);
  job.WriteString(Kiv::String());
  job.WriteString(Kiv::String(folder));
  const auto* bytes = static_cast<const uint8_t*>(data.Data());
  return std::vector<uint8_t>(bytes, bytes + data.DataLength());
}

// Logs the host's answer: its result, and each message when not every
// source was converted.
void LogAnswer(const std::vector<uint8_t>& reply, const std::string& what) {
  Kiv::DynamicBuffer data;
  if (!reply.empty()) data.Write(reply.data(), uint32_t(reply.size()));
  data.SetPosition(0);
  TBuffer stream(&data);
  ResultsLog messages;
  uint32_t result = 0;
  if (!messages.ReadMessages(stream) || !TStreamReadU32(stream, result, 0)) {
    LogMessage("vaddaemon> the texture conversion of %s gave a damaged answer", what.c_str());
    return;
  }
  if (result == kAllConverted) {
    LogMessage("vaddaemon> converted the textures of %s", what.c_str());
    return;
  }
  LogMessage("vaddaemon> the textures of %s were not all converted (result %u)", what.c_str(),
             result);
  for (const ResultMessage& message : messages.Messages())
    LogMessage("vaddaemon>   %s", message.text.c_str());
}

}  // namespace

bool NeedsTextureConversion(const std::string& folder, bool compareTimes) {
  return FolderNeedsConversion(fs::path(folder), compareTimes, 0);
}

void CompileFolderTextures(DaemonContext& context, const std::string& folder, const KUID& subject,
                           bool compareTimes) {
  if (!NeedsTextureConversion(folder, compareTimes)) return;
  const std::string what = KUIDToTagString(subject).Str() + " (" + folder + ")";
  auto broker = context.Find<CommandHostBroker>();
  if (!broker || !broker->HostAvailable()) {
    LogMessage("vaddaemon> the textures of %s were not converted: no command host is running",
               what.c_str());
    return;
  }
  std::vector<uint8_t> reply;
  std::string error;
  if (broker->RunJob(JobPayload(folder), &reply, &error) != CommandHostBroker::JobResult::kOk) {
    LogMessage("vaddaemon> the textures of %s were not converted: %s", what.c_str(), error.c_str());
    // A job cut short (its host gone, the daemon closing) may have left a
    // source under its temporary name, which the folder must not keep.
    GiveSourceNamesBack(fs::path(folder), 0);
    return;
  }
  LogAnswer(reply, what);
}
