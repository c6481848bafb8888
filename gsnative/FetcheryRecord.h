// FetcheryRecord: one item that the download service offers in its answer
// to a search (gsnative/FetcheryQuery.h reads the answer and fills these).
//
// Both KUIDs start as the null KUID, the URLs as empty records, the size as
// 0 and the texts as empty. `downloadUrlWhole` is false when the answer's
// download URL did not fit the URL record (a part was cut, ParseUrl): such
// a URL names something other than what the service offered and is never
// fetched.
//
// FetcheryRecordList keeps records in insertion order in blocks of 13
// (foundation/ChunkList.h); Clear destroys every record (and so releases its
// interned texts) and frees the blocks. Not thread-safe.
#pragma once

#include <cstdint>

#include "assetdb/protocol/URLRecord.h"
#include "foundation/containers/ChunkList.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"

struct FetcheryRecord {
  KUID required;          // "requires": the asset asked for, or one it needs.
  KUID latestVersion;     // "latest-version": the version the service offers.
  UrlRecord downloadUrl;  // "latest-version-path".
  bool downloadUrlWhole = true;
  uint32_t size = 0;       // "latest-version-size".
  UrlRecord bannerUrl;     // "banner-uri".
  Kiv::PString result;     // "result": the service's status text.
  Kiv::PString assetName;  // "asset-name".
};

class FetcheryRecordList : public ChunkList<FetcheryRecord> {
 public:
  void Clear() { FreeBlocks(); }
  // True when a record offers `latestVersion`.
  bool HasLatestVersion(const KUID& latestVersion);
};
