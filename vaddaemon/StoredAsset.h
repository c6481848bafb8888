// StoredAsset: what the daemon's asset store keeps about one asset, and
// StoreResult, the outcome of every store operation that can fail.
//
// A StoredAsset is a plain value (copied out of the index; changing it
// changes nothing stored). Folder names are single path components below
// the store's "local" and "editing" folders (see AssetStore.h); empty means
// "none". Two status bytes are the store's own and always agree with the
// folders: kStatusInstalledLocally (byte 3) is set exactly when `folder` is
// not empty and kStatusOpenForEdit (byte 8) exactly when `editFolder` is not
// empty. The other bytes are kept as callers set them.
//
// StoreResult carries a code and, for failures, a plain-language message
// meant for the daemon's log and for the caller's results log.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "foundation/text/KUID.h"

inline constexpr uint32_t kStatusByteCount = 18;
// Status byte indexes (as the asset record carries them).
inline constexpr uint32_t kStatusAlwaysSet = 0;
inline constexpr uint32_t kStatusLocallyModified = 2;
inline constexpr uint32_t kStatusInstalledLocally = 3;
inline constexpr uint32_t kStatusBuiltIn = 4;
inline constexpr uint32_t kStatusDownloadServiceItem = 5;
inline constexpr uint32_t kStatusOnDownloadService = 6;
inline constexpr uint32_t kStatusArchived = 7;
inline constexpr uint32_t kStatusOpenForEdit = 8;
inline constexpr uint32_t kStatusFaulty = 9;
inline constexpr uint32_t kStatusMissingDependencies = 11;

using StatusBytes = std::array<uint8_t, kStatusByteCount>;

// Byte 0 set, every other byte clear.
inline StatusBytes DefaultStatusBytes() {
  StatusBytes bytes{};
  bytes[kStatusAlwaysSet] = 1;
  return bytes;
}

struct StoredAsset {
  KUID kuid;
  std::string name;      // display name
  std::string kind;      // the configuration's "kind"
  std::string category;  // category codes separated by ';'
  std::string region;    // the configuration's "category-region"
  std::string era;       // the configuration's "category-era"
  std::string keywords;  // as last stored (request 0x36)
  StatusBytes status = DefaultStatusBytes();
  int32_t authorId = -1;
  float build = 0.0f;
  KUID kuid2;
  bool favourite = false;
  std::vector<KUID> dependencies;
  std::vector<KUID> obsoletes;
  std::string folder;        // below the "local" folder; empty when not installed
  std::string editFolder;    // below the "editing" folder; empty when not open for edit
  bool placeholder = false;  // made by Reserve and never committed
  int64_t installedAt = 0;   // Unix seconds of the last install or commit

  bool Installed() const { return !folder.empty(); }
  bool OpenForEdit() const { return !editFolder.empty(); }
};

enum class StoreCode {
  kOk = 0,
  kNotFound,     // no such asset (or no such edit)
  kExists,       // the asset is installed and the caller asked not to replace it
  kBadConfig,    // no readable configuration, or one without a valid "kuid"
  kBadArgument,  // a KUID, name or folder the store cannot accept
  kIoError,      // a folder could not be read, copied, renamed or removed
  kDbError,      // the index refused a change (the change was rolled back)
  kExhausted,    // no content id is left in the local user's range
  kCutShort,     // work the change needs was cut short (a texture conversion)
};

struct StoreResult {
  StoreCode code = StoreCode::kOk;
  std::string message;

  bool Ok() const { return code == StoreCode::kOk; }
  static StoreResult Success() { return {}; }
  static StoreResult Fail(StoreCode c, std::string text) { return {c, std::move(text)}; }
};
