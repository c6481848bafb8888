#include "vaddaemon/TextureConversionJob.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/base/LogMessage.h"
#include "foundation/layout/TextureSourcesRecord.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/PathHelpers.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/File.h"
#include "kiv/String.h"
#include "vaddaemon/CommandHostBroker.h"
#include "vaddaemon/CommandHostEnd.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/TextureSourceNames.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kJobConvertTextures = 1;
constexpr uint32_t kAllConverted = 2;
// Runs of a job whose host went away before it answered.
constexpr int kAttempts = 3;
// A warning names at most this many sources, and counts the rest.
constexpr size_t kMostSourcesNamed = 200;
// How long a closing daemon waits for its hosts to end (they end as their
// connections close).
constexpr uint32_t kHostsEndWaitMs = 2000;

// The existing file at `path`, found without regard to case; "" when none.
std::string Existing(const std::string& path) {
  return Kiv::File::Find::ResolveCase(Kiv::String(path));
}

// Whether the source at `path` lacks an up-to-date compiled texture: one
// whose record names the sources as they are now.
bool SourceNeedsConversion(const std::string& path, bool unrecordedIsStale) {
  const std::string compiled = Existing(path.substr(0, path.size() - 4));
  if (compiled.empty()) return true;
  std::string stored;
  if (!ReadCompiledTextureRecord(compiled, &stored) && !unrecordedIsStale) return false;
  std::string current;
  const TextureSourcesState state = DescribeTextureSources(path, &current);
  // A conversion that cannot read every picture fails, and takes the
  // compiled texture with it: then that texture is all there is of them
  // (an archive carries no picture of some types), and it stays.
  if (state == TextureSourcesState::kPictureMissing) return false;
  return state != TextureSourcesState::kDescribed || stored != current;
}

// Calls `found` with the path (relative to the folder the walk began in,
// "/" between folders; `prefix` is that of `folder`) of each source below
// `folder` that lacks an up-to-date compiled texture, until it answers
// false; false when it did.
template <class Found>
bool ForEachStaleSource(const fs::path& folder, const std::string& prefix, bool unrecordedIsStale,
                        uint32_t depth, Found& found) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const fs::file_status own = it->symlink_status(error);
    if (error) return true;
    const std::string name = it->path().filename().string();
    if (fs::is_directory(own)) {
      if (depth < kMaxFolderDepth &&
          !ForEachStaleSource(it->path(), prefix + name + "/", unrecordedIsStale, depth + 1, found))
        return false;
      continue;
    }
    if (fs::is_regular_file(own) && IsTextureSourceFile(name.c_str()) &&
        SourceNeedsConversion(it->path().string(), unrecordedIsStale) && !found(prefix + name))
      return false;
  }
  return true;
}

// Why a conversion cut short (`why`) keeps the folder out of the store: it
// left the sources `stale` without an up-to-date compiled texture; the
// names are sorted, at most kMostSourcesNamed of them.
std::string NotCompiledText(std::vector<std::string> stale, const std::string& why) {
  std::sort(stale.begin(), stale.end());
  std::string text = "the texture sources";
  for (size_t i = 0; i < stale.size() && i < kMostSourcesNamed; ++i)
    text += (i == 0 ? " " : ", ") + stale[i];
  if (stale.size() > kMostSourcesNamed)
    text += " and " + std::to_string(stale.size() - kMostSourcesNamed) + " more";
  return text + " were not compiled, as their conversion was cut short. " + why;
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

bool NeedsTextureConversion(const std::string& folder, bool unrecordedIsStale) {
  bool stale = false;
  auto first = [&](const std::string&) {
    stale = true;
    return false;
  };
  ForEachStaleSource(fs::path(folder), std::string(), unrecordedIsStale, 0, first);
  return stale;
}

std::string CompileFolderTextures(DaemonRequest& request, const std::string& folder,
                                  const KUID& subject, bool unrecordedIsStale) {
  if (!NeedsTextureConversion(folder, unrecordedIsStale)) return std::string();
  const std::string what = KUIDToTagString(subject).Str() + " (" + folder + ")";
  auto broker = request.Context().Find<CommandHostBroker>();
  if (!broker || !broker->HostAvailable()) {
    LogMessage("vaddaemon> the textures of %s were not converted: no command host is running",
               what.c_str());
    return std::string();
  }
  std::string why;  // what cut the conversion short first
  // Files of the converter's temporary names that the folder held before:
  // not the conversion's to remove.
  const std::set<std::string> before = ConversionTemporaries(folder);
  for (int attempt = 1;; ++attempt) {
    std::vector<uint8_t> reply;
    std::string error;
    const CommandHostBroker::JobResult result = broker->RunJob(JobPayload(folder), &reply, &error);
    if (result == CommandHostBroker::JobResult::kOk) {
      LogAnswer(reply, what);
      return std::string();
    }
    LogMessage("vaddaemon> the textures of %s were not converted: %s", what.c_str(), error.c_str());
    if (why.empty()) why = error;
    // A daemon that gave up its work closed its hosts' connections: a host
    // may still be converting here until it has seen that and ended (and
    // is ended when it does not, CommandHostEnd.h).
    const bool abandoned = request.Context().WorkAbandoned();
    if (abandoned) EndCommandHosts(request.Context(), kHostsEndWaitMs);
    // A job cut short may have left a source under its temporary name,
    // which the folder must not keep, and which a conversion must find.
    GiveTextureSourceNamesBack(folder);
    // And a compiled texture half written, which a fresh conversion never
    // leaves.
    RemoveConversionTemporaries(folder, before);
    if (abandoned || result != CommandHostBroker::JobResult::kHostGone || attempt == kAttempts)
      break;
    LogMessage("vaddaemon> converting the textures of %s again", what.c_str());
  }
  // What the cut left undone keeps the folder out of the store.
  std::vector<std::string> stale;
  auto collect = [&](const std::string& path) {
    stale.push_back(path);
    return true;
  };
  ForEachStaleSource(fs::path(folder), std::string(), unrecordedIsStale, 0, collect);
  if (stale.empty()) return std::string();
  return NotCompiledText(std::move(stale), why);
}
