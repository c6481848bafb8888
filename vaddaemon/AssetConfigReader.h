// AssetConfigReader: what the asset store takes from an asset's
// configuration.
//
// LoadAssetFolderConfig loads "config.chump" from the folder, or when that
// fails "config.txt" (either name found without regard to case); false when
// neither loads (missing or unreadable, or a damaged "config.chump" beside
// no "config.txt"). A "config.txt" that can be read always loads, damaged
// or not (a missing or stray "}", see foundation/TextSoup.h).
//
// DescribeAssetFromConfig fills the fields of `asset` that come from the
// configuration and leaves every other field as it is:
//   kuid          "kuid" (the null KUID when missing)
//   name          the display name (GetAssetDisplayName) when one of
//                 "username", "name", "asset-filename" is given, else ""
//   kind          "kind"
//   category      "category" when given, else the category list for
//                 "kind" and "category-class" (LookupCategoryForClassCode),
//                 else the "category-class" text itself; an asset that
//                 names neither gets the category of its kind when the
//                 kind has one (KindCategory.h: "consist" → "CN")
//   region, era   "category-region", "category-era"
//   authorId      the KUID's user id
//   build         "vandru-build" when given, else GetConfigBuildVersion
//                 (2.0 for configurations with a mesh table or class, 1.3)
//   dependencies  CDP::CollectDependencies (KUIDs named anywhere, the
//                 "kuid-table", less the "obsolete-table" and itself)
//   obsoletes     CDP::CollectObsoletes ("obsolete-table", "obsoletes-kuid")
// Nothing fails.
//
// ConfigStorageProblem is empty when every tag of `config` fits the binary
// form, in which the daemon hands configurations and archive entries to the
// tool; otherwise it says why not, naming the first tag that does not fit
// (BinarySoup::FindUnstorableTag). The store refuses to install or commit
// such a configuration, rather than keep one that it cannot hand out whole.
//
// Edit copies keep their configuration as text, so that what a user edits
// is what a commit takes: WriteConfigAsText removes every "config.txt" and
// "config.chump" of the folder (names in any case) and writes `config` as
// "config.txt" (text form), then flushes the folder; KeepConfigAsText does
// that with the folder's own configuration when it holds a "config.chump"
// (one that does not load is left as it is). Both answer false when a file
// cannot be written or removed, or the folder cannot be listed. HoldsBothConfigFiles is
// true when the folder holds a "config.chump" and a "config.txt" at once
// (the binary one is the one that loads).
#pragma once

#include <string>

class Soup;
struct StoredAsset;

bool LoadAssetFolderConfig(const std::string& folder, Soup* config);
bool WriteConfigAsText(const std::string& folder, const Soup& config);
bool KeepConfigAsText(const std::string& folder);
bool HoldsBothConfigFiles(const std::string& folder);
void DescribeAssetFromConfig(const Soup& config, StoredAsset* asset);
std::string ConfigStorageProblem(const Soup& config);
