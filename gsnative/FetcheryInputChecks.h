// FetcheryInputChecks: what the download-service query accepts from the
// service's answer and from the daemon before it acts on it. Both are
// untrusted: the answer comes from the network, and the daemon only passes
// on what it fetched.
//
// RefuseDownloadUrl answers why a record's download URL must not be
// fetched, or null when it may be:
//   - a part of the URL did not fit its record (`parsedWhole` false): the
//     record no longer names what the service offered;
//   - its scheme is not "http" or "https" (compared without case): the
//     daemon would otherwise be asked to open local files or other
//     services;
//   - a component of its path, split at "/" and "\" and with "%XX" escapes
//     decoded, is "..": the path climbs out of the folder it names.
// A URL without scheme or host is not judged here (the query skips such
// records silently, as offers without a download).
//
// IsInDownloadFolder: true when `path` names an entry strictly below
// `folder`, after symbolic links of both are resolved as far as they exist
// and "." and ".." are folded. An empty path or folder is never inside.
// The daemon keeps its downloads in <UserData>/cache/web (DownloadFolder);
// a result path anywhere else is refused, so a confused or hostile daemon
// cannot make the tool read or install an arbitrary file.
//
// LoadFetcheryAnswer reads the service's answer as a text soup, whatever
// the file's extension. The text form accepts every input (a damaged answer
// reads as far as it makes sense, and simply offers nothing it does not
// name); the file is read only up to kMaxAnswerBytes, and a longer one is
// refused whole (kTooLarge) rather than half-read.
//
// Threads: any; nothing is kept.
#pragma once

#include <cstdint>

#include "assetdb/protocol/URLRecord.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "kiv/String.h"

inline constexpr uint32_t kMaxAnswerBytes = 16 * 1024 * 1024;

const char* RefuseDownloadUrl(const UrlRecord& url, bool parsedWhole);

Kiv::File::Path DownloadFolder();
bool IsInDownloadFolder(const Kiv::File::Path& folder, const Kiv::String& path);

enum class AnswerLoad { kLoaded, kCannotRead, kTooLarge };
// `soup` is set only when the answer was loaded.
AnswerLoad LoadFetcheryAnswer(const Kiv::String& path, Soup& soup);
