#include "render/textures/TextureConversion.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/layout/AssetFolderEntries.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/layout/LeftoverTextureSources.h"
#include "foundation/soup/PropertyRef.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/text/PathHelpers.h"
#include "kiv/FileConfinement.h"
#include "render/textures/CompressAsciiResource.h"
#include "render/textures/HeldSourceNames.h"
#include "render/textures/TextureJobBudget.h"
#include "render/textures/VADTextureConvertFileRPC.h"

namespace {

// Folders nested deeper than this are not searched (a link that leads back
// up would otherwise never end the walk).
constexpr uint32_t kMaxDepth = 64;

constexpr uint32_t kAllConverted = 2;
constexpr uint32_t kDiscarded = 1;
constexpr uint32_t kFailed = 0;

struct Walk {
  Kiv::PString location;
  ResultsLog* log;
  std::vector<Kiv::File::Path> sources;
};

Kiv::String RealFolder(const Kiv::PString& location, const Kiv::File::Path& folder) {
  if (location.Empty()) return folder.Str();
  Kiv::String real;
  if (!Kiv::File::ResolveRooted(location, folder.Str(), &real)) return Kiv::String();
  return real;
}

bool Searchable(const Kiv::String& folder) {
  if (folder.empty() || !Kiv::File::IsDirectory(folder)) return false;
  const Kiv::String found = Kiv::File::Find::ResolveCase(folder);
  return !found.empty() && ::access(found.c_str(), R_OK | X_OK) == 0;
}

// Collects the texture sources below `folder`, in the order the listing
// gives them; false when a folder could not be searched (reported).
bool Collect(Walk& walk, const Kiv::File::Path& folder, uint32_t depth) {
  const Kiv::String real = RealFolder(walk.location, folder);
  if (depth > kMaxDepth || !Searchable(real)) {
    Soup parameters;
    parameters.SetNamedTag(Kiv::PString("file_name"), std::string_view(folder.Str()));
    walk.log->AddResult(ResultsLog::kError, PropertyRef(), "Unable to search path: '$(FILE_NAME)'",
                        &parameters);
    return false;
  }
  Kiv::File::Find find;
  if (!find.First(real, "*")) return true;
  bool allSearched = true;
  do {
    Kiv::File::Path entry = folder;
    entry.AddPath(find.Name());
    if (find.IsDirectory()) {
      allSearched = Collect(walk, entry, depth + 1) && allSearched;
      continue;
    }
    if (IsTextureSourceFile(find.Name().c_str())) walk.sources.push_back(entry);
  } while (find.Next());
  return allSearched;
}

// Every job in flight holds its source's name (HeldSourceNames.h).
size_t JobWindow() {
  return std::min(size_t(std::max(2u, std::thread::hardware_concurrency())), kMaxHeldSourceNames);
}

// Gives the sources that a conversion cut short left under the temporary
// name their names back (LeftoverTextureSources.h), and says so.
void GiveLeftoversBack(const Kiv::String& folder, ResultsLog& log) {
  for (const LeftoverTextureSource& leftover : GiveLeftoverTextureSourcesBack(folder, kMaxDepth)) {
    if (leftover.error == 0) {
      log.AddResult(ResultsLog::kInformation, PropertyRef(),
                    Kiv::StringPrintf("The texture source '%s' was left as '%s' by a conversion "
                                      "cut short; it has its name back.",
                                      leftover.source.c_str(), leftover.temporary.c_str()));
    } else if (leftover.error == EEXIST) {
      log.AddResult(ResultsLog::kWarning, PropertyRef(),
                    Kiv::StringPrintf("The file '%s' may be left by a conversion cut short, but "
                                      "the texture source '%s' is there too; neither was changed.",
                                      leftover.temporary.c_str(), leftover.source.c_str()));
    } else {
      log.AddResult(ResultsLog::kWarning, PropertyRef(),
                    Kiv::StringPrintf("The file '%s' was left by a conversion cut short; it could "
                                      "not be given its name '%s' back (%s).",
                                      leftover.temporary.c_str(), leftover.source.c_str(),
                                      std::strerror(leftover.error)));
    }
  }
}

// ConvertTexturesInFolder, and first, with `giveLeftoversBack`,
// GiveLeftoversBack.
uint32_t ConvertFolder(const Kiv::PString& location, const Kiv::File::Path& folder, ResultsLog& log,
                       WorkerThread* queue, uint64_t memoryLimit, bool giveLeftoversBack);

// ConvertTexturesInFolder once the folder's reads are confined.
uint32_t ConvertConfined(const Kiv::PString& location, const Kiv::File::Path& folder,
                         ResultsLog& log, WorkerThread* queue, uint64_t memoryLimit);

}  // namespace

uint32_t ConvertTexturesInFolder(const Kiv::PString& location, const Kiv::File::Path& folder,
                                 ResultsLog& log, WorkerThread* queue, uint64_t memoryLimit) {
  return ConvertFolder(location, folder, log, queue, memoryLimit, false);
}

uint32_t ConvertTextures(const Kiv::PString& location, const Kiv::File::Path& folder,
                         ResultsLog& log) {
  return ConvertFolder(location, folder, log, nullptr, TextureJobBudget::kDefaultLimit, true);
}

namespace {

uint32_t ConvertFolder(const Kiv::PString& location, const Kiv::File::Path& folder, ResultsLog& log,
                       WorkerThread* queue, uint64_t memoryLimit, bool giveLeftoversBack) {
  RegisterCompressAsciiResourceType();
  // No picture or source is read through a link that leads out of the
  // folder, nor from a pipe or device.
  // What the search names is refused before anything is read; every read
  // below the folder is then confined to it, so a link swapped meanwhile is
  // refused as it is met.
  const Kiv::String real = RealFolder(location, folder);
  const std::vector<std::string> refused = RefusedFolderEntries(real);
  for (const std::string& text : refused) log.AddResult(ResultsLog::kError, PropertyRef(), text);
  if (!refused.empty()) return kFailed;
  if (giveLeftoversBack) GiveLeftoversBack(real, log);
  Kiv::ConfinedFolder confined(real);
  const uint32_t result = ConvertConfined(location, folder, log, queue, memoryLimit);
  const std::vector<std::string> refusedReads = RefusedReadTexts(confined);
  for (const std::string& text : refusedReads)
    log.AddResult(ResultsLog::kError, PropertyRef(), text);
  return refusedReads.empty() || result == kDiscarded ? result : kFailed;
}

uint32_t ConvertConfined(const Kiv::PString& location, const Kiv::File::Path& folder,
                         ResultsLog& log, WorkerThread* queue, uint64_t memoryLimit) {
  Walk walk{location, &log, {}};
  bool allOk = Collect(walk, folder, 0);
  struct Running {
    std::unique_ptr<VADTextureConvertFileRPC> job;
    uint64_t bytes;
  };
  std::deque<Running> running;
  TextureJobBudget budget(memoryLimit);
  size_t next = 0;
  uint64_t nextBytes = 0;
  bool nextMeasured = false;
  while (next < walk.sources.size() || !running.empty()) {
    if (next < walk.sources.size() && !nextMeasured) {
      nextBytes = CompressAsciiResource::DeclaredPictureBytes(
          RealFolder(location, walk.sources[next]).c_str());
      nextMeasured = true;
    }
    if (next < walk.sources.size() && running.size() < JobWindow() && budget.Admits(nextBytes)) {
      budget.Start(nextBytes);
      running.push_back({std::make_unique<VADTextureConvertFileRPC>(queue), nextBytes});
      VADTextureConvertFileRPC::Start(running.back().job.get(), location, walk.sources[next++],
                                      &log);
      nextMeasured = false;
      continue;
    }
    VADTextureConvertFileRPC& job = *running.front().job;
    allOk = job.Wait() && allOk;
    if (job.WasDiscarded()) {
      const Kiv::String text =
          Kiv::StringPrintf("%s (%s)", GetInterfaceText("$vad_texture_compress_err").c_str(),
                            job.InitialPath().c_str());
      log.AddResult(ResultsLog::kError, PropertyRef(), text);
      running.clear();
      return kDiscarded;
    }
    budget.Finish(running.front().bytes);
    running.pop_front();
  }
  return allOk ? kAllConverted : kFailed;
}

}  // namespace
