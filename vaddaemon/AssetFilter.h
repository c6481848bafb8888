// AssetFilter: a search filter (the VADFilterElement tree of request 0x02)
// turned into a form that is evaluated against the assets of a catalog.
//
// Meaning of each node:
//   group      matchAll set: every child matches (an empty group matches
//              everything); clear: at least one child matches (an empty
//              group matches nothing). negate turns the result over.
//   string     field 0 "asset-name": with `exact`, the display name equals
//              the value byte for byte; without, the value occurs in the
//              name, ASCII letters compared without case (the empty value
//              occurs in every name).
//              field 1 "category-list": the value is a category expression
//              matched against the asset's category codes
//              (MatchCategoryExpression).
//              fields 2 "era-list", 3 "keyword-list", 4 "region-list": the
//              value is matched the same way against the era, keyword and
//              region texts, which are ';'-separated lists too.
//              Any other field matches nothing.
//   flag       AssetCatalog::Flag (see AssetCatalog.h).
//   integer    field 0 "local-rating" (always 0 here), 1 "author" (the author
//              id), 2 "version" (the KUID's version) within the bounds.
//   timestamp  fields 0 "installation-timestamp" and 1
//              "modification-timestamp": the Unix seconds of the last install
//              or commit, within the bounds.
//   asset-id   field 0: the asset's KUID is one of the set; field 1
//              ("profile-map") and others match nothing.
// A missing filter (type code 0) matches every asset.
//
// Compile never fails: the element tree was already bounded by its reader
// (depth at most VADFilterElementGroup::kMaxFilterDepth). Evaluate answers
// the matching assets in catalog order.
//
// Threads: a compiled filter is const; one may be evaluated from several
// threads.
#pragma once

#include <memory>
#include <vector>

#include "foundation/text/KUID.h"

class AssetCatalog;
class VADFilterElement;
struct StoredAsset;

class AssetFilter {
 public:
  // Null `root` makes the filter that matches everything.
  static AssetFilter Compile(const VADFilterElement* root);

  bool Matches(const AssetCatalog& catalog, const StoredAsset& asset) const;
  std::vector<KUID> Evaluate(const AssetCatalog& catalog) const;

  // One compiled node (defined in the implementation).
  struct Node;

 private:
  static std::shared_ptr<const Node> CompileNode(const VADFilterElement& element);
  static bool MatchNode(const Node& node, const AssetCatalog& catalog, const StoredAsset& asset);

  std::shared_ptr<const Node> root_;
};
