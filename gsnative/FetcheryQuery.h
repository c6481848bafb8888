// FetcheryQuery: installing an asset, and whatever it needs, from the
// download service. The tool never talks to the service itself: the
// asset-database daemon fetches the pages and files (DaemonHttpRequest,
// assetdb/WebRequests.h) and installs the archives (InstallCDP,
// assetdb/AssetInstall.h).
//
// QueryFetcheryForAsset(kuid, log):
//   1. Without an open daemon client: false.
//   2. The KUID becomes the daemon's answer to request 0x1B for it (the
//      given KUID when the request fails or answers the null KUID). An asset
//      that is present already (VADClient::IsAssetPresent): false, nothing
//      more is asked.
//   3. The search (FetcherySettings::SearchUrl, the host from the
//      environment) is started as a web request with mode 2, and waited for
//      (below). Its result path is the service's answer, read as a text soup
//      (LoadFetcheryAnswer) and turned into records by
//      ParseFetcheryAssetReply; then the search request is closed.
//   4. For each record in order: skipped unless its download URL has a
//      scheme and a host and its "latest-version" asset is not present; a
//      download URL that RefuseDownloadUrl refuses gets an error naming why.
//      Otherwise the URL is rebuilt, started as a web request with mode 0 and
//      waited for; the downloaded archive is installed with InstallCDP (the
//      log, or a fresh one when none was given; install mode 6). A failed
//      record never stops the walk; each request is closed after use.
//   Answers true when at least one install reported an installed asset.
//
// Messages (severity 3, no subject; only when a log is given): "Failed to
// query FCY for <kuid>" (the search failed: no result, the wait ended
// without one, or the answer was refused), "Failed to resolve download path
// for <kuid>" (a download failed; the record's "latest-version"), "Internal
// error: GetFilePath returned archive" (the daemon answered a file inside
// an archive). Where the cause is known, one more error before these says
// it: the wait's bound passed ("The web request did not finish within N
// seconds: <url>"), the connection to the daemon was lost, a result path
// outside the download folder (IsInDownloadFolder), an answer over its size
// bound, a refused download URL ("The download URL for <kuid> is refused:
// <why>.").
//
// Waiting (the search and each download). Each pass asks whether the
// request is done (DaemonHttpRequest::IsDone); between passes the main
// thread waits up to 50 ms for work posted to it and runs it
// (CollectStringGarbage), any other thread sleeps 50 ms. IsDone asks the
// daemon (request 0xE8) on every pass until the status is done, unless the
// status the daemon pushes when a request finishes (notification 4) has
// come first. Relying on the push alone could hang: it may reach the tool
// before the request is registered and be lost.
// Bound: a wait ends, the request counting as failed, when the request is
// not done FetcherySettings::WaitMs() after its start (default 10 minutes,
// VANDRUUTIL_FCY_WAIT_MS overrides it, e.g. for tests), or at once when the
// connection to the daemon is gone (the daemon forgets a connection's
// requests with it). So a web request that never completes ends the
// command with an error instead of hanging it.
//
// ParseFetcheryAssetReply(reply, records): nothing for a null soup or one
// with the tag "none". Otherwise the items "0", "1", ... are walked until a
// name is missing or names an empty sub-soup (at most kMaxFetcheryItems),
// and request 0x4A asks the daemon which are needed: body u32 count, then
// per item the "requires" and "latest-version" KUIDs (stream form) and u32
// "latest-version-size"; reply u32 count, then that many u32 item numbers.
// The reply is untrusted: its count is cut to the numbers its bytes hold,
// and a number that names no walked item is ignored. Each needed item
// becomes a record, unless the list already holds one with the same
// "latest-version". Without items, or when the request fails, the list is
// left as it was.
//
// Threads: runs on the caller's thread and blocks it (see Waiting); the
// daemon client's reader thread delivers the pushed statuses. Everything
// made here is released before the call returns.
#pragma once

#include <cstdint>

#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "gsnative/FetcheryRecord.h"

class ResultsLog;

inline constexpr uint32_t kMaxFetcheryItems = 100000;

bool QueryFetcheryForAsset(const KUID& kuid, ResultsLog* log);
void ParseFetcheryAssetReply(const Soup& reply, FetcheryRecordList& records);
