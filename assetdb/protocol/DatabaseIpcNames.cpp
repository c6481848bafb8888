#include "assetdb/protocol/DatabaseIpcNames.h"

#include <cstdint>
#include <cstdio>
#include <utility>

namespace {

constexpr std::string_view kMutexBase = "09731AC6-B611-4e2a-B181-578073F64F24";
constexpr std::string_view kIndexName = "assets.tdx";
constexpr std::string_view kSharedSuffix = "-ipc2";
constexpr std::string_view kLockSuffix = ".lock";

bool IsPlain(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

uint64_t Fnv1a64(std::string_view text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

Kiv::String EscapePosixIpcName(std::string_view name, std::string_view suffix) {
  static const char kHex[] = "0123456789ABCDEF";
  Kiv::String escaped = "/";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsPlain(byte)) {
      escaped += c;
      continue;
    }
    escaped += '%';
    escaped += kHex[byte >> 4];
    escaped += kHex[byte & 15];
  }
  if (escaped.size() + suffix.size() <= kMaxPosixNameLength) return escaped + Kiv::String(suffix);
  // Too long for a file name: a cut prefix keeps it readable, the hash of the
  // whole name keeps it unique.
  char hash[18];
  std::snprintf(hash, sizeof(hash), "~%016llx", static_cast<unsigned long long>(Fnv1a64(name)));
  const size_t keep = kMaxPosixNameLength - suffix.size() - (sizeof(hash) - 1);
  escaped.resize(keep);
  // Do not leave half of a "%XX" behind.
  const size_t percent = escaped.rfind('%');
  if (percent != Kiv::String::npos && percent + 3 > escaped.size()) escaped.resize(percent);
  return escaped + hash + Kiv::String(suffix);
}

bool FormDatabaseIpcNames(const Kiv::File::Path& assetIndexPath, DatabaseIpcNames* out) {
  if (out == nullptr) return false;
  const Kiv::String& path = assetIndexPath.Str();
  if (path.size() <= kIndexName.size()) return false;
  const size_t nameAt = path.size() - kIndexName.size();
  if (!Kiv::EqualsIgnoreCase(std::string_view(path).substr(nameAt), kIndexName)) return false;
  const char separator = path[nameAt - 1];
  if (separator != '/' && separator != '\\') return false;

  DatabaseIpcNames names;
  names.folder = Kiv::File::Path(std::string_view(path).substr(0, nameAt - 1));
  Kiv::File::Path mutex(kMutexBase);
  mutex.AddPath(names.folder.Str());
  mutex.ReplaceForwardSlashes();
  Kiv::File::Path shared = mutex;
  shared.AddPath(kSharedSuffix);
  names.mutexName = mutex.Str();
  names.sharedName = shared.Str();
  names.posixLockName = EscapePosixIpcName(names.mutexName, kLockSuffix);
  names.posixSharedName = EscapePosixIpcName(names.sharedName, "");
  *out = std::move(names);
  return true;
}
