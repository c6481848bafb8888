#include "vaddaemon/AssetFilter.h"

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include "assetdb/protocol/CategoryMatch.h"
#include "assetdb/protocol/VADFilterElement.h"
#include "assetdb/protocol/VADFilterElementAssetID.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementRange.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "vaddaemon/AssetCatalog.h"
#include "vaddaemon/StoredAsset.h"

struct AssetFilter::Node {
  enum class Kind { kAll, kNothing, kGroup, kString, kFlag, kInt, kTimestamp, kAssetId };

  Kind kind = Kind::kAll;
  bool matchAll = true;
  bool negate = false;
  std::vector<std::shared_ptr<const Node>> children;
  uint32_t field = 0;
  std::string text;
  bool exact = false;
  int64_t lower = 0;
  int64_t upper = 0;
  bool lowerInclusive = false;
  bool upperInclusive = false;
  std::set<KUID, KUIDUnsignedLess> kuids;
};

namespace {

using Node = AssetFilter::Node;

// The range elements keep their bounds to themselves; their wire body is
// the one complete view of them (u32 field, bounds, two inclusive bytes).
void ReadRange(const VADFilterElement& element, bool wide, Node& node) {
  TBuffer body;
  element.Write(body);
  TStreamRewind(body);
  TStreamReadU32(body, node.field, 0);
  if (wide) {
    uint64_t lower = 0;
    uint64_t upper = 0;
    TStreamReadU64(body, lower, 0);
    TStreamReadU64(body, upper, 0);
    node.lower = static_cast<int64_t>(lower);
    node.upper = static_cast<int64_t>(upper);
  } else {
    uint32_t lower = 0;
    uint32_t upper = 0;
    TStreamReadU32(body, lower, 0);
    TStreamReadU32(body, upper, 0);
    node.lower = static_cast<int32_t>(lower);
    node.upper = static_cast<int32_t>(upper);
  }
  TStreamReadBool(body, node.lowerInclusive, false);
  TStreamReadBool(body, node.upperInclusive, false);
}

bool InRange(const Node& node, int64_t value) {
  const bool aboveLower = node.lowerInclusive ? value >= node.lower : value > node.lower;
  const bool belowUpper = node.upperInclusive ? value <= node.upper : value < node.upper;
  return aboveLower && belowUpper;
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  auto same = [](char a, char b) { return LowerAscii(a) == LowerAscii(b); };
  return std::search(text.begin(), text.end(), part.begin(), part.end(), same) != text.end();
}

bool MatchString(const Node& node, const StoredAsset& asset) {
  switch (node.field) {
    case VADFilterElementString::kAssetName:
      return node.exact ? asset.name == node.text : ContainsIgnoringCase(asset.name, node.text);
    case VADFilterElementString::kCategoryList:
      return MatchCategoryExpression(asset.category.c_str(), node.text.c_str());
    case VADFilterElementString::kEraList:
      return MatchCategoryExpression(asset.era.c_str(), node.text.c_str());
    case VADFilterElementString::kKeywordList:
      return MatchCategoryExpression(asset.keywords.c_str(), node.text.c_str());
    case VADFilterElementString::kRegionList:
      return MatchCategoryExpression(asset.region.c_str(), node.text.c_str());
    default:
      return false;
  }
}

bool MatchInt(const Node& node, const StoredAsset& asset) {
  switch (node.field) {
    case VADFilterElementInt::kLocalRating:
      return InRange(node, 0);
    case VADFilterElementInt::kAuthor:
      return InRange(node, asset.authorId);
    case VADFilterElementInt::kVersion:
      return InRange(node, asset.kuid.version);
    default:
      return false;
  }
}

bool MatchTimestamp(const Node& node, const StoredAsset& asset) {
  if (node.field != VADFilterElementTimestamp::kInstallation &&
      node.field != VADFilterElementTimestamp::kModification)
    return false;
  return InRange(node, asset.installedAt);
}

}  // namespace

AssetFilter AssetFilter::Compile(const VADFilterElement* root) {
  AssetFilter filter;
  if (root != nullptr) filter.root_ = CompileNode(*root);
  return filter;
}

std::shared_ptr<const AssetFilter::Node> AssetFilter::CompileNode(const VADFilterElement& element) {
  auto node = std::make_shared<Node>();
  switch (element.GetTypeCode()) {
    case kFilterTypeGroup: {
      const auto& group = static_cast<const VADFilterElementGroup&>(element);
      node->kind = Node::Kind::kGroup;
      node->matchAll = group.GetMatchAll();
      node->negate = group.GetNegate();
      for (uint32_t i = 0; i < group.CountChildren(); ++i) {
        const VADFilterElement* child = group.GetChild(i);
        if (child != nullptr) node->children.push_back(CompileNode(*child));
      }
      break;
    }
    case kFilterTypeString: {
      const auto& text = static_cast<const VADFilterElementString&>(element);
      node->kind = Node::Kind::kString;
      node->field = text.GetFieldId();
      node->text = text.GetValue().Str();
      node->exact = text.IsExact();
      break;
    }
    case kFilterTypeBool:
      node->kind = Node::Kind::kFlag;
      node->field = static_cast<const VADFilterElementBool&>(element).GetFlagId();
      break;
    case kFilterTypeInt:
      node->kind = Node::Kind::kInt;
      ReadRange(element, false, *node);
      break;
    case kFilterTypeTimestamp:
      node->kind = Node::Kind::kTimestamp;
      ReadRange(element, true, *node);
      break;
    case kFilterTypeAssetID: {
      const auto& ids = static_cast<const VADFilterElementAssetID&>(element);
      node->kind = Node::Kind::kAssetId;
      node->field = element.GetFieldName().View() == "asset-id"
                        ? VADFilterElementAssetID::kAssetId
                        : VADFilterElementAssetID::kProfileMap;
      node->kuids = ids.GetKUIDs();
      break;
    }
    default:
      node->kind = Node::Kind::kNothing;
      break;
  }
  return node;
}

bool AssetFilter::MatchNode(const Node& node, const AssetCatalog& catalog,
                            const StoredAsset& asset) {
  switch (node.kind) {
    case Node::Kind::kAll:
      return true;
    case Node::Kind::kNothing:
      return false;
    case Node::Kind::kGroup: {
      bool result = node.matchAll;
      for (const auto& child : node.children) {
        const bool match = MatchNode(*child, catalog, asset);
        if (node.matchAll && !match) {
          result = false;
          break;
        }
        if (!node.matchAll && match) {
          result = true;
          break;
        }
      }
      return result != node.negate;
    }
    case Node::Kind::kString:
      return MatchString(node, asset);
    case Node::Kind::kFlag:
      return catalog.Flag(node.field, asset);
    case Node::Kind::kInt:
      return MatchInt(node, asset);
    case Node::Kind::kTimestamp:
      return MatchTimestamp(node, asset);
    case Node::Kind::kAssetId:
      return node.field == VADFilterElementAssetID::kAssetId && node.kuids.count(asset.kuid) != 0;
  }
  return false;
}

bool AssetFilter::Matches(const AssetCatalog& catalog, const StoredAsset& asset) const {
  return root_ == nullptr || MatchNode(*root_, catalog, asset);
}

std::vector<KUID> AssetFilter::Evaluate(const AssetCatalog& catalog) const {
  std::vector<KUID> found;
  for (const StoredAsset& asset : catalog.Assets()) {
    if (Matches(catalog, asset)) found.push_back(asset.kuid);
  }
  return found;
}
