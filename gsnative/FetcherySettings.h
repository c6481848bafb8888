// FetcherySettings: where the download-service query looks and how long it
// waits, from the tool's environment.
//
//   VANDRUUTIL_FCY_HOST     the download service's host: a name of letters,
//                           digits, "." and "-" (at most 127 characters),
//                           optionally followed by ":" and a port from 1 to
//                           65535. Default kDefaultHost, a name under the
//                           reserved ".invalid" domain, which resolves
//                           nowhere: an installation that was not told
//                           where the service is never reaches anything.
//   VANDRUUTIL_FCY_WAIT_MS  how long the query waits for one web request of
//                           the daemon (the search, or one download) before
//                           it gives that request up: a whole number of
//                           milliseconds from 1 to kMostWaitMs. Default and
//                           most: 10 minutes, as long as the daemon client
//                           itself lets a web request run
//                           (assetdb/WebRequests.h), so the value can only
//                           shorten the wait.
// An invalid value is logged and the default used. Both are read on every
// call (the query runs once per command).
//
// SearchUrl gives the search request for an asset:
//   https://<host>/vandru/FCYT_Search_Text.php?Banners=1&SearchCriteria=<KUID
//   short form>&textsearchID=1&DependencyLevel=5
// with the KUID in its short text form ("U:C" or "U:C:V").
//
// UpdatePageUrl gives the maker's update page on the same service, for the
// update-page check (assetdb/client/CheckUpdatePage.h):
//   https://<host>/vandru/update.php
//
// Threads: any; nothing is kept.
#pragma once

#include <cstdint>

#include "assetdb/client/WebRequests.h"
#include "foundation/text/KUID.h"
#include "kiv/String.h"

namespace FetcherySettings {

inline constexpr const char* kDefaultHost = "fcy.vandru.invalid";
inline constexpr uint32_t kDefaultWaitMs = 10 * 60 * 1000;
inline constexpr uint32_t kMostWaitMs = kDefaultWaitMs;
static_assert(kMostWaitMs <= DaemonHttpRequest::kDefaultTimeoutMs,
              "the client would end the request first");
inline constexpr uint32_t kMaxHostLength = 127;

// Parse a value (null: unset); false, and `*out` unchanged, when it is
// unset or invalid.
bool ParseHost(const char* text, Kiv::String* out);
bool ParseWaitMs(const char* text, uint32_t* out);

// From the environment (see above).
Kiv::String Host();
uint32_t WaitMs();

Kiv::String SearchUrl(const Kiv::String& host, const KUID& kuid);
Kiv::String UpdatePageUrl(const Kiv::String& host);

}  // namespace FetcherySettings
