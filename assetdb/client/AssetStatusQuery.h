// AssetStatusQuery: the three daemon requests behind an asset's status
// line, put on the wire back to back.
//
// The constructor sends request 0x15 for the asset's record (all parts)
// and, right behind it, the two presence requests (0x15, mask 8) of
// HasMissingDependencies(kuid, false) and IsAssetFaulty(kuid), without
// waiting for a reply in between; the daemon answers them in turn. Record,
// then MissingDependencies and Faulty, answer exactly what
//   GetAssetInfo(kuid, 0xFFFFFFFF, record), HasMissingDependencies(kuid,
//   false), IsAssetFaulty(kuid)
// answer when made one after the other, and a caller that stops after
// Record has had the daemon make no more of them than those calls would:
// - The presence requests go ahead only over the connection the record's
//   request went out on; one that cannot is made in full when asked for.
//   None goes ahead when the record's request failed to go out.
// - A presence request whose connection ended before its reply is made
//   again in full when asked for (it only reads), as a request made after
//   the record's reply would have found the connection gone. A request
//   lost that way is not counted as lost (VADClient::LostRequestCount).
// - The destructor waits for the replies of requests sent ahead that were
//   not asked for, so that none arrives for a request that is gone; it
//   makes none that was held back.
//
// Answer is what a status line may say. It asks Record and, for an asset
// the daemon knows (flagE set), MissingDependencies and Faulty, and answers
//   kCut      once a request of the query has failed for want of its
//             connection (VADClient::LostRequestCountOfThisThread has grown
//             since the query was made): a reply did not arrive whole, so
//             nothing of the line is what the daemon said;
//   kUnknown  when the record's request failed otherwise, or the daemon
//             does not know the asset;
//   kKnown    otherwise, with the record and both flags as the daemon sent
//             them (a presence reply that arrived but cannot be read counts
//             as set).
//
// Each of Record, MissingDependencies and Faulty is asked at most once, in
// that order (Answer counts as asking all three). Not thread-safe: one
// object per status line, on one thread.
#pragma once

#include <cstdint>

#include "assetdb/client/VADRequest.h"
#include "foundation/text/KUID.h"

struct AssetRecord;

class AssetStatusQuery {
 public:
  explicit AssetStatusQuery(const KUID& kuid);
  ~AssetStatusQuery();
  AssetStatusQuery(const AssetStatusQuery&) = delete;
  AssetStatusQuery& operator=(const AssetStatusQuery&) = delete;

  // False when the request failed (the record is then undefined).
  bool Record(AssetRecord& record);
  // True also when the request fails.
  bool MissingDependencies();
  bool Faulty();

  enum class Reply { kKnown, kUnknown, kCut };
  Reply Answer(AssetRecord& record, bool* missing, bool* faulty);

 private:
  bool Cut() const;
  // The presence bits of a request sent ahead (or made now) tested with
  // `bit`; true when the request fails.
  bool PresenceBit(VADRequest& request, uint32_t bit);

  uint64_t lostBefore_;
  VADRequest info_;
  VADRequest missing_;
  VADRequest faulty_;
  bool aheadSent_ = false;  // The presence requests went ahead (or tried to).
};
