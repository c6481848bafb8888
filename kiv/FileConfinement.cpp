// ConfinedFolder (see FileConfinement.h).
#include "kiv/FileConfinement.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

#include "kiv/File.h"
#include "kiv/FileBeneath.h"

namespace Kiv {

struct ConfinedFolder::Entry {
  BeneathFolder folder;
  std::vector<String> prefixes;  // Each ends in "/".
  mutable std::mutex lock;
  std::vector<Refusal> refusals;

  void Note(const String& path, Why why) {
    std::lock_guard<std::mutex> hold(lock);
    for (const Refusal& seen : refusals) {
      if (seen.path == path) return;
    }
    refusals.push_back({path, why});
  }
};

namespace {

struct Registry {
  std::mutex lock;
  std::vector<std::shared_ptr<ConfinedFolder::Entry>> entries;
  std::atomic<size_t> count{0};
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // Never destroyed: used until exit.
  return *registry;
}

// `path` made absolute and normalised by name, "/" being the only
// separator; "" when the working folder is unknown.
String AbsoluteNormal(const String& path) {
  String full = path;
  if (full.empty() || full[0] != '/') {
    const String cwd = File::GetCwd();
    if (cwd.empty()) return String();
    full = cwd + "/" + full;
  }
  std::vector<std::string_view> kept;
  size_t start = 0;
  while (start <= full.size()) {
    size_t end = full.find('/', start);
    if (end == String::npos) end = full.size();
    const std::string_view part = std::string_view(full).substr(start, end - start);
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
    } else if (!part.empty() && part != ".") {
      kept.push_back(part);
    }
    start = end + 1;
  }
  String out;
  for (const std::string_view part : kept) {
    out += '/';
    out.append(part);
  }
  return out.empty() ? String("/") : out;
}

String AsPrefix(String path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

ConfinedFolder::ConfinedFolder(const String& folder) : entry_(std::make_shared<Entry>()) {
  const String absolute = AbsoluteNormal(folder);
  if (absolute.empty()) return;
  entry_->prefixes.push_back(AsPrefix(absolute));
  if (!entry_->folder.Open(absolute)) {
    // In another case, as a read below it would find it; when that fails
    // too, the entry stays closed and refuses every read below it.
    const String found = File::Find::ResolveCase(absolute);
    if (!found.empty() && found != absolute) entry_->folder.Open(found);
  }
  const String& real = entry_->folder.RealPath();
  if (!real.empty() && AsPrefix(real) != entry_->prefixes.front())
    entry_->prefixes.push_back(AsPrefix(real));
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  registry.entries.push_back(entry_);
  registry.count.store(registry.entries.size());
}

ConfinedFolder::~ConfinedFolder() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto& entries = registry.entries;
  entries.erase(std::remove(entries.begin(), entries.end(), entry_), entries.end());
  registry.count.store(entries.size());
}

std::vector<ConfinedFolder::Refusal> ConfinedFolder::Refusals() const {
  std::lock_guard<std::mutex> hold(entry_->lock);
  return entry_->refusals;
}

bool OpenConfined(const String& path, int* fd, bool exactCase) {
  Registry& registry = TheRegistry();
  if (registry.count.load() == 0) return false;
  const String absolute = AbsoluteNormal(path);
  if (absolute.empty()) return false;
  // Every confined folder that holds the path notes a refusal; the longest
  // prefix opens it (the other folders hold that one).
  std::vector<std::shared_ptr<ConfinedFolder::Entry>> holders;
  std::shared_ptr<ConfinedFolder::Entry> opener;
  size_t openerPrefix = 0;
  {
    std::lock_guard<std::mutex> hold(registry.lock);
    for (const auto& entry : registry.entries) {
      for (const String& prefix : entry->prefixes) {
        if (absolute.compare(0, prefix.size(), prefix) != 0) continue;
        holders.push_back(entry);
        if (prefix.size() > openerPrefix) {
          opener = entry;
          openerPrefix = prefix.size();
        }
        break;
      }
    }
  }
  if (!opener) return false;
  if (opener->folder.Descriptor() < 0) {
    *fd = -1;
    errno = ENOENT;
    return true;
  }
  const BeneathFolder::Opened opened =
      opener->folder.OpenFile(std::string_view(absolute).substr(openerPrefix), exactCase);
  *fd = opened.fd;
  if (opened.outcome == BeneathFolder::Outcome::kOpened) return true;
  if (opened.outcome == BeneathFolder::Outcome::kLeavesFolder ||
      opened.outcome == BeneathFolder::Outcome::kNotPlain) {
    const ConfinedFolder::Why why = opened.outcome == BeneathFolder::Outcome::kLeavesFolder
                                        ? ConfinedFolder::Why::kLeavesFolder
                                        : ConfinedFolder::Why::kNotPlain;
    for (const auto& entry : holders) entry->Note(path, why);
  }
  errno = opened.error != 0 ? opened.error : EACCES;
  return true;
}

}  // namespace Kiv
