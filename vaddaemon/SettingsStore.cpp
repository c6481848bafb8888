#include "vaddaemon/SettingsStore.h"

#include <cerrno>
#include <cstring>
#include <optional>

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

// False, with `why` in `failure` when given.
bool Refuse(std::string* failure, const std::string& why) {
  if (failure != nullptr) *failure = why;
  return false;
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

bool SettingsStore::WriteGroup(std::string_view group, const uint8_t* soup, uint32_t length,
                               std::string* failure) {
  if (!ValidGroupName(group)) return Refuse(failure, "the settings group's name is refused");
  Soup read;
  if (!FromBytes(soup, length, read)) return Refuse(failure, "the settings group is damaged");
  // Stored in the writer's own form, so bytes after the soup are dropped.
  std::vector<uint8_t> bytes = ToBytes(read);
  if (bytes.empty()) return Refuse(failure, "the settings group is damaged");
  if (read.CountTags() == 0) bytes.clear();
  std::lock_guard<std::mutex> hold(lock_);
  return ChangeLocked(std::string(group), std::move(bytes), failure);
}

std::string SettingsStore::ReadValue(std::string_view group, std::string_view key) const {
  if (!ValidKey(key)) return std::string();
  std::vector<uint8_t> bytes = ReadGroup(group);
  Soup soup;
  if (!FromBytes(bytes.data(), uint32_t(bytes.size()), soup)) return std::string();
  return soup.GetNamedTag(Kiv::PString(key)).Str();
}

bool SettingsStore::WriteValue(std::string_view group, std::string_view key, std::string_view value,
                               std::string* failure) {
  if (!ValidGroupName(group) || !ValidKey(key))
    return Refuse(failure, "the setting's name is refused");
  std::lock_guard<std::mutex> hold(lock_);
  Soup current;
  auto it = groups_.find(std::string(group));
  if (it != groups_.end() && !FromBytes(it->second.data(), uint32_t(it->second.size()), current))
    return Refuse(failure, "the settings group is damaged");
  Soup changed;
  Soup::Copy(changed, current);
  changed.SetNamedTag(Kiv::PString(key), value);
  std::vector<uint8_t> bytes = ToBytes(changed);
  if (bytes.empty()) return Refuse(failure, "the setting cannot be stored");
  return ChangeLocked(std::string(group), std::move(bytes), failure);
}

bool SettingsStore::ChangeLocked(const std::string& group, std::vector<uint8_t> bytes,
                                 std::string* failure) {
  const auto put = [&](std::optional<std::vector<uint8_t>> value) {
    if (value) {
      groups_[group] = std::move(*value);
    } else {
      groups_.erase(group);
    }
  };
  std::optional<std::vector<uint8_t>> before;
  if (auto it = groups_.find(group); it != groups_.end()) before = it->second;
  put(bytes.empty() ? std::nullopt : std::optional(std::move(bytes)));
  if (SaveLocked(failure)) return true;
  put(std::move(before));
  return false;
}

bool SettingsStore::SaveLocked(std::string* failure) {
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
  errno = 0;
  if (Soup::SaveToOwnerOnlyFile(Kiv::PString(), path_.Str(), root)) return true;
  const int error = errno;
  LogMessage("vaddaemon> unable to save the settings file %s", path_.c_str());
  return Refuse(failure, "the settings file '" + path_.Str() + "' cannot be saved: " +
                             (error != 0 ? std::strerror(error) : "the reason is not known"));
}
