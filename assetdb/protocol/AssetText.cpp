#include "assetdb/protocol/AssetText.h"

#include <cmath>

#include "assetdb/protocol/CategoryClassCodeTable.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "kiv/PString.h"
#include "kiv/ResourceSystem.h"

namespace {

bool IsTrimmed(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

uint8_t ByteAt(std::string_view text, size_t i) {
  return i < text.size() ? uint8_t(text[i]) : 0;
}

bool IsCp1252Quote(uint8_t b) {
  return b >= 145 && b <= 148;
}

// Length of the opening quote at the start of `text`, 0 when none.
size_t OpeningQuote(std::string_view text) {
  if (text.empty()) return 0;
  const uint8_t first = ByteAt(text, 0);
  if (first == '\'' || first == '"') return 1;
  if (IsCp1252Quote(first) && ByteAt(text, 1) < 128) return 1;
  if (text.size() >= 3 && first == 0xE2 && ByteAt(text, 1) == 0x80 &&
      (ByteAt(text, 2) == 0x98 || ByteAt(text, 2) == 0x9C))
    return 3;
  return 0;
}

// Length of the closing quote at the end of `text`, 0 when none.
size_t ClosingQuote(std::string_view text) {
  const size_t n = text.size();
  if (n == 0) return 0;
  const uint8_t last = ByteAt(text, n - 1);
  if (last == '\'' || last == '"') return 1;
  if (IsCp1252Quote(last) && (n < 2 || ByteAt(text, n - 2) < 128)) return 1;
  if (n >= 3 && ByteAt(text, n - 3) == 0xE2 && ByteAt(text, n - 2) == 0x80 &&
      (last == 0x99 || last == 0x9D))
    return 3;
  return 0;
}

bool IsOldBuild(float build) {
  const double scaled = (double(build) + 0.005) * 100.0;
  return std::isnan(scaled) || scaled < 290.0;
}

}  // namespace

Kiv::String CleanAssetDisplayName(std::string_view text) {
  while (!text.empty() && IsTrimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsTrimmed(text.back())) text.remove_suffix(1);
  text.remove_prefix(OpeningQuote(text));
  text.remove_suffix(ClosingQuote(text));
  return Kiv::String(text);
}

Kiv::String GetAssetDisplayName(const Soup& config) {
  static const Kiv::PString kTags[] = {Kiv::PString("username"), Kiv::PString("name"),
                                       Kiv::PString("asset-filename")};
  Kiv::String name;
  for (const Kiv::PString& tag : kTags) {
    name = config.GetNamedTag(tag).Str();
    if (!name.empty()) break;
  }
  if (IsOldBuild(config.GetNamedTagAsFloat(Kiv::PString("vandru-build"), 0.0f))) {
    for (char& c : name) {
      if (c == '_') c = ' ';
    }
  }
  name = CleanAssetDisplayName(name);
  if (!name.empty()) return name;
  return InterfaceTextDB::Get().GetString(Kiv::PString("$cm_general_untitled"), true).Str();
}

float GetConfigBuildVersion(const Soup& config) {
  const float build = config.GetNamedTagAsFloat(Kiv::PString("vandru-build"), 0.0f);
  if (build >= 1.0f && build < 100.0f) return static_cast<float>(double(build) + 0.005);
  if (config.HasNamedTag(Kiv::PString("mesh-table")) || config.HasNamedTag(Kiv::PString("class")) ||
      config.HasNamedTag(Kiv::PString("scriptclass")))
    return 2.0f;
  return 1.3f;
}

Kiv::String LookupCategoryForClassCode(std::string_view kind, std::string_view code) {
  for (const CategoryClassCodeRow* row = CategoryClassCodeTable; !row->categories.empty(); ++row) {
    const bool kindFits =
        kind.empty() || row->kind[0] == '\0' || Kiv::EqualsIgnoreCase(kind, row->kind);
    if (kindFits && Kiv::EqualsIgnoreCase(code, row->code)) return row->categories;
  }
  return Kiv::String();
}

void TrimResourceCaches() {
  if (!IsMainThread()) return;
  Kiv::ResourceSystem* resources = Kiv::ResourceSystem::Current();
  if (resources) resources->DumpUnusedResourcesFromCache();
}
