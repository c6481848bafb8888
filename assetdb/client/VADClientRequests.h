// VADClientRequests: the typed asset-database requests of the client. One
// static function per daemon request turns typed arguments into a request
// body, sends it (assetdb/VADRequest.h) and turns the reply back into typed
// results. None keeps state of its own. VADClient (assetdb/VADClient.h)
// derives from this class, so every function here is also reachable as
// VADClient::<name>.
//
// Failure: every function answers its failure value (false, the null KUID,
// an empty text or soup, no handle) when the request fails, and writes no
// message; the daemon's own messages arrive in the caller's ResultsLog for
// the requests that take one (0x03, 0x1E, 0x21, 0x22, 0x24). Replies are
// untrusted: strings are bounded by the stream reader, soups by the binary
// soup reader, and counts of KUID lists by the bytes of the reply (see
// ReadKUIDList). A short reply gives each field its default: 0, false, the
// null KUID, the empty text, or the default named below.
//
// A KUID that the 8-byte form of a request cannot carry as it is
// (KUIDReadsBack fails: a user id beyond -16777216..16777215) would reach
// the daemon as another asset's KUID. The asset-information queries (0x14,
// 0x15, 0x17, 0x1A, 0x1C, 0x1D, 0x2B) ask about the null KUID in its place,
// which the daemon answers as an asset it does not know; 0x1B answers such
// a KUID itself without asking.
//
// Requests (code: request body -> reply body):
//   0x02 SearchAssets: filter element -> u32 n, n KUIDs (appended; without
//        a reply nothing is appended)
//   0x03 RepairStep03: u32 mode -> nothing (the log stays registered, so
//        the repair's messages keep arriving)
//   0x04 RepairStep04: - -> bool flag, f32 progress, string status text
//   0x14 GetAssetConfig: KUID -> binary soup (an empty handle on failure)
//   0x15 GetAssetInfo: KUID, u32 mask -> asset record (AssetRecord.h)
//   0x17 Request17: KUID, bool -> interned name, string folder path
//   0x1A Request1A / 0x1B Request1B: KUID -> KUID (the given KUID on failure)
//   0x1C Request1C: KUID -> string description
//   0x1D Request1D: KUID, u32 selector -> interned name, string path, u32
//   0x1E Request1E: KUID, bool -> u64 handle (default none), interned name,
//        string folder: a new open handle; none for a handle of all ones
//   0x1F Request1F: u64 handle -> ignored
//   0x20 OpenForEdit: u64 handle -> interned name, string folder; asked only
//        while the handle is not open
//   0x21 RevertAsset: u64 handle -> bool; then the handle is closed and one
//        reference dropped
//   0x22 CommitAsset: u64 handle, u32 flags -> bool committed, bool; when
//        committed the handle is closed and the reference dropped
//   0x23 Request23: KUID, bool, string -> u64 handle, KUID, interned name,
//        string folder
//   0x24 DeleteAsset: KUID, bool -> bool
//   0x2A Request2A: u32 n, n KUIDs -> u32 m, m KUIDs (appended)
//   0x2B Request2B: KUID -> u32 m, m KUIDs (appended)
//   0x32 Request32: KUID, bool (one-way); 0x36 Request36: KUID, string
//        (one-way)
//   0x3A GenerateKUID: - -> KUID (null on failure; then the daemon's
//        reason, a string, follows it, and lands in `failure` when given:
//        "the daemon gave none" when it sent none; a failed request
//        leaves `failure` empty)
//   0xB5 RequestB5: - -> bool (true when missing or on failure)
//   0xFD ListBuilds: - -> interned text (empty on failure)
//   0x79 GetLocalData: KUID, string key -> binary soup (the daemon answers
//        the empty soup when nothing is stored); false, the soup
//        unchanged, when the request fails or the reply is not a soup
//   0x7A SetLocalData: KUID, string key, binary soup (one-way); false when
//        the soup cannot be written or the request not sent
//   0x100 RepairDatabase: - (one-way)
// Status queries (request 0x15 with the mask shown; the value on failure in
// brackets): IsAssetBuiltIn 0 (false); IsAssetLocallyModified 8 (true);
// IsAssetPresent 8 (true); IsAssetFaulty 8 (true); HasMissingDependencies
// 8 (true): with `whenAbsent` set, true for an asset not installed locally,
// else the missing-dependencies bit.
//
// Online-account requests (WebRequests.h holds the web requests):
//   0xF0 GetOnlineUsername: - -> string user name, string, string, u16,
//        string, u16 (the user name; empty on failure)
//   0xF1 RequestF1: - (one-way)
//   0xF2 RequestF2: - -> string (empty on failure)
//
// Threads: any thread may call these (VADClient::Transact is thread-safe);
// a VADAssetHandle belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class ResultsLog;
class Soup;
class VADFilterElement;
struct AssetRecord;
struct VADAssetHandle;
struct VADAssetHandleRef;

// Masks of GetAssetInfo.
inline constexpr uint32_t kAssetInfoMaskStatus = 0;
inline constexpr uint32_t kAssetInfoMaskName = 1;
inline constexpr uint32_t kAssetInfoMaskTexts = 4;
inline constexpr uint32_t kAssetInfoMaskPresence = 8;

class VADClientRequests {
 public:
  // Search (VADSearchRequest.cpp).
  static void SearchAssets(const VADFilterElement* filter, KUIDList& result);

  // Asset information (VADAssetRequests.cpp).
  static bool GetAssetConfig(const KUID& kuid, Soup& config);
  static bool GetAssetInfo(const KUID& kuid, uint32_t mask, AssetRecord& record);
  static bool Request17(const KUID& kuid, bool flag, Kiv::PString& name, Kiv::String& folder);
  static KUID Request1A(const KUID& kuid);
  static KUID Request1B(const KUID& kuid);
  static Kiv::String Request1C(const KUID& kuid);
  static bool Request1D(const KUID& kuid, uint32_t selector, Kiv::PString& name, Kiv::String& path,
                        uint32_t& number);
  static bool Request2A(const KUIDList& kuids, KUIDList& result);
  static bool GetDependencyList(const KUIDList& kuids, KUIDList& result);
  static bool Request2B(const KUID& kuid, KUIDList& result);
  static bool Request32(const KUID& kuid, bool favourite);
  static bool Request36(const KUID& kuid, const Kiv::String& keywords);
  static KUID GenerateKUID(std::string* failure = nullptr);
  static bool RequestB5();
  static Kiv::PString ListBuilds();
  static bool DeleteAsset(const KUID& kuid, bool flag, ResultsLog* log);

  // Status queries (AssetInfoQueries.cpp).
  static bool IsAssetBuiltIn(const KUID& kuid);
  static bool IsAssetLocallyModified(const KUID& kuid);
  static bool IsAssetPresent(const KUID& kuid);
  static bool IsAssetFaulty(const KUID& kuid);
  static bool HasMissingDependencies(const KUID& kuid, bool whenAbsent);

  // Asset handles (VADAssetHandle.cpp).
  static bool Request1E(const KUID& kuid, bool open, VADAssetHandleRef& out, ResultsLog* log);
  static bool Request1F(uint64_t daemonHandle);
  static bool OpenForEdit(VADAssetHandle* handle, Kiv::PString& name, Kiv::File::Path& folder);
  static bool RevertAsset(VADAssetHandleRef& ref, ResultsLog* log);
  static bool CommitAsset(VADAssetHandleRef& ref, uint32_t flags, ResultsLog* log,
                          bool* second = nullptr);
  static bool Request23(const KUID& kuid, bool flag, const Kiv::String& name,
                        VADAssetHandleRef& out);

  // Database repair (VADRepairRequests.cpp).
  static bool RepairStep03(uint32_t mode, ResultsLog* log);
  static bool RepairStep04(bool& flag, float& progress, Kiv::String& status);
  static bool RepairDatabase();

  // Online account (OnlineRequests.cpp).
  static Kiv::String GetOnlineUsername();
  static bool RequestF1();
  static Kiv::String RequestF2();
  // Per-asset data of the online scripts, under a key the caller has
  // lower-cased.
  static bool GetLocalData(const KUID& kuid, const Kiv::String& key, Soup& soup);
  static bool SetLocalData(const KUID& kuid, const Kiv::String& key, const Soup& soup);
};
