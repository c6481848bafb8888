#include "vaddaemon/SettingsStore.h"

#include "foundation/base/LogMessage.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

namespace {

// The empty soup: the header alone.
std::vector<uint8_t> EmptySoupBytes() {
  Kiv::DynamicBuffer data;
  TBuffer stream(&data);
  BinarySoup::Write(stream, Soup());
  return std::vector<uint8_t>(data.Data(), data.Data() + data.DataLength());
}

// The soup in binary form; empty on failure.
std::vector<uint8_t> ToBytes(const Soup& soup) {
  Kiv::DynamicBuffer data;
  TBuffer stream(&data);
  if (!BinarySoup::Write(stream, soup)) return {};
  return std::vector<uint8_t>(data.Data(), data.Data() + data.DataLength());
}

// Reads a binary soup held in `bytes` (checked by the reader).
bool FromBytes(const uint8_t* bytes, uint32_t length, Soup& out) {
  Kiv::DynamicBuffer data;
  TBuffer stream(&data);
  if (length != 0 && stream.Write(bytes, length) != length) return false;
  stream.SeekTo(0);
  return BinarySoup::Read(stream, out);
}

bool ValidKey(std::string_view key) {
  return !key.empty() && key.size() <= BinarySoup::kMaxNameLength;
}

}  // namespace

bool SettingsStore::ValidGroupName(std::string_view group) {
  return !group.empty() && group.size() <= BinarySoup::kMaxNameLength &&
         group.find('\0') == std::string_view::npos;
}

bool SettingsStore::Load(const Kiv::File::Path& path) {
  std::lock_guard<std::mutex> hold(lock_);
  path_ = path;
  groups_.clear();
  if (!Kiv::File::Exists(path.Str()) &&
      !Kiv::File::Exists(path.Str().substr(0, path.Str().rfind('.')) + ".tmp")) {
    return true;
  }
  Soup root;
  if (!Soup::LoadFromFileOrTemp(Kiv::PString(), path.Str(), root)) {
    LogMessage("vaddaemon> the settings file %s is damaged; starting without settings",
               path.c_str());
    return false;
  }
  const uint32_t count = root.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    const Kiv::PString name = root.GetIndexedTagName(i);
    if (!ValidGroupName(name.View())) continue;
    std::vector<uint8_t> bytes = ToBytes(root.GetIndexedSoup(i));
    if (!bytes.empty()) groups_[name.Str()] = std::move(bytes);
  }
  return true;
}

std::vector<uint8_t> SettingsStore::ReadGroup(std::string_view group) const {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = groups_.find(std::string(group));
  if (it == groups_.end()) return EmptySoupBytes();
  return it->second;
}

bool SettingsStore::WriteGroup(std::string_view group, const uint8_t* soup, uint32_t length) {
  if (!ValidGroupName(group)) return false;
  Soup read;
  if (!FromBytes(soup, length, read)) return false;
  // Stored in the writer's own form, so bytes after the soup are dropped.
  std::vector<uint8_t> bytes = ToBytes(read);
  if (bytes.empty()) return false;
  std::lock_guard<std::mutex> hold(lock_);
  if (read.CountTags() == 0) {
    groups_.erase(std::string(group));
  } else {
    groups_[std::string(group)] = std::move(bytes);
  }
  return SaveLocked();
}

std::string SettingsStore::ReadValue(std::string_view group, std::string_view key) const {
  if (!ValidKey(key)) return std::string();
  std::vector<uint8_t> bytes = ReadGroup(group);
  Soup soup;
  if (!FromBytes(bytes.data(), uint32_t(bytes.size()), soup)) return std::string();
  return soup.GetNamedTag(Kiv::PString(key)).Str();
}

bool SettingsStore::WriteValue(std::string_view group, std::string_view key,
                               std::string_view value) {
  if (!ValidGroupName(group) || !ValidKey(key)) return false;
  std::lock_guard<std::mutex> hold(lock_);
  Soup current;
  auto it = groups_.find(std::string(group));
  if (it != groups_.end() && !FromBytes(it->second.data(), uint32_t(it->second.size()), current))
    return false;
  Soup changed;
  Soup::Copy(changed, current);
  changed.SetNamedTag(Kiv::PString(key), value);
  std::vector<uint8_t> bytes = ToBytes(changed);
  if (bytes.empty()) return false;
  groups_[std::string(group)] = std::move(bytes);
  return SaveLocked();
}

bool SettingsStore::SaveLocked() {
  if (path_.Empty()) return true;
  Soup root;
  root.Create();
  for (const auto& [name, bytes] : groups_) {
    Soup group;
    if (!FromBytes(bytes.data(), uint32_t(bytes.size()), group)) continue;
    Soup copy;
    Soup::Copy(copy, group);
    root.SetNamedSoup(Kiv::PString(name), copy);
  }
  if (Soup::SaveToOwnerOnlyFile(Kiv::PString(), path_.Str(), root)) return true;
  LogMessage("vaddaemon> unable to save the settings file %s", path_.c_str());
  return false;
}
