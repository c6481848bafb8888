// Text helpers on asset configurations: display names, build numbers, old
// category-class codes, and the trimming of resource caches.
//
// CleanAssetDisplayName: removes blanks, tabs, carriage returns and line
// feeds from both ends, then one opening quote at the start and one closing
// quote at the end. A quote is "'" or '"'; a Windows-1252 curly quote (bytes
// 145..148) when the byte next to it on the inner side is below 128 (or
// there is none); or a UTF-8 curly quote (E2 80 98 / E2 80 9C at the start,
// E2 80 99 / E2 80 9D at the end).
//
// GetAssetDisplayName: the first non-empty of the configuration's
// "username", "name" and "asset-filename" tags; in a configuration whose
// "vandru-build" is below 2.9 (the value plus 0.005, times 100, truncated,
// below 290) every '_' becomes a blank; then cleaned as above; when nothing
// is left, the interface text "$cm_general_untitled".
//
// GetConfigBuildVersion: "vandru-build" (default 0) plus 0.005 when it lies
// in [1, 100); otherwise 2.0 when the configuration has a "mesh-table",
// "class" or "scriptclass" tag, else 1.3.
//
// LookupCategoryForClassCode: the category list of the first row of
// CategoryClassCodeTable whose code equals `code` and whose kind fits
// (`kind` empty, the row's kind empty, or both equal), both ignoring ASCII
// case; the empty text when no row fits.
//
// TrimResourceCaches: on the main thread only (IsMainThread), asks the
// current engine resource system, when there is one, to drop the cached
// resources nothing holds. Interned strings need no collection here: the
// string cache frees an entry with its last holder. Elsewhere it does
// nothing.
//
// None of these fail.
#pragma once

#include <string_view>

#include "kiv/String.h"

class Soup;

Kiv::String CleanAssetDisplayName(std::string_view text);
Kiv::String GetAssetDisplayName(const Soup& config);
float GetConfigBuildVersion(const Soup& config);
Kiv::String LookupCategoryForClassCode(std::string_view kind, std::string_view code);
void TrimResourceCaches();
