#include "gsnative/online/OnlineAccessProcess.h"

#include <algorithm>

#include "foundation/layout/FolderLayout.h"
#include "foundation/stream/TFile.h"
#include "gsnative/online/OnlineMessageCache.h"
#include "gsnative/online/OnlineSettings.h"
#include "kiv/File.h"
#include "kiv/Log.h"

OnlineAccessProcess& OnlineAccessProcess::Get() {
  // Never destroyed: the process ends without static destructors.
  static OnlineAccessProcess* const instance =
      new OnlineAccessProcess(std::make_unique<DaemonAccountSource>(), OnlineSettings::Host(),
                              OnlineSettings::Port(), GetCachePath().Str());
  return *instance;
}

OnlineAccessProcess::OnlineAccessProcess(std::unique_ptr<OnlineAccountSource> account,
                                         std::string host, uint16_t port, std::string cacheFolder)
    : account_(std::move(account)),
      endpoint_(*account_, std::move(host), port),
      cacheFolder_(std::move(cacheFolder)) {}

OnlineAccessProcess::~OnlineAccessProcess() = default;

std::string OnlineAccessProcess::PathOf(const char* name) const {
  Kiv::File::Path path(cacheFolder_);
  path.AddPath(name);
  return path.Str();
}

std::string OnlineAccessProcess::CachePath() const {
  return PathOf(kCacheName);
}

void OnlineAccessProcess::Register() {
  if (cacheFolder_.empty()) return;
  const Kiv::PString noLocation;
  Soup::LoadFromFileOrTemp(noLocation, PathOf(kInboxName), inbox_);
  Soup::LoadFromFileOrTemp(noLocation, PathOf(kOutboxName), outbox_);
  const std::string path = CachePath();
  TFile file;
  if (!file.Open(path, Kiv::File::kRead | Kiv::File::kRegularOnly)) return;
  switch (endpoint_.LoadStoredMessages(file)) {
    case OnlineMessageCache::ReadResult::kLoaded:
      return;
    case OnlineMessageCache::ReadResult::kWrongVersion:
      Kiv::Log::Printf("OnlineAccessProcess::Register> '%s' is of another version; ignored",
                       path.c_str());
      return;
    case OnlineMessageCache::ReadResult::kDamaged:
      Kiv::Log::Printf("OnlineAccessProcess::Register> '%s' is damaged; %zu message(s) read",
                       path.c_str(), endpoint_.StoredMessages().size());
      return;
  }
}

bool OnlineAccessProcess::SaveMessageCache() {
  if (cacheFolder_.empty()) return false;
  const std::string path = CachePath();
  if (OnlineMessageCache::Save(path, endpoint_.StoredMessages())) return true;
  Kiv::Log::Printf("OnlineAccessProcess::SaveMessageCache> '%s' could not be written",
                   path.c_str());
  return false;
}

void OnlineAccessProcess::Link(OnlineAccessObject* object) {
  if (std::find(objects_.begin(), objects_.end(), object) == objects_.end()) {
    objects_.push_back(object);
  }
}

void OnlineAccessProcess::Unlink(OnlineAccessObject* object) {
  objects_.erase(std::remove(objects_.begin(), objects_.end(), object), objects_.end());
}
