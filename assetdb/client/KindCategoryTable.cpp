#include "assetdb/client/KindCategoryTable.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "assetdb/protocol/CategoryClassCodeTable.h"

namespace {

std::vector<std::string> Codes(std::string_view list) {
  std::vector<std::string> codes;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(';', start), list.size());
    if (end > start) codes.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return codes;
}

// Keeps of `common` only the codes that `row` holds too.
void Intersect(std::vector<std::string>& common, const std::vector<std::string>& row) {
  std::erase_if(common, [&](const std::string& code) {
    return std::find(row.begin(), row.end(), code) == row.end();
  });
}

std::map<std::string, std::string, std::less<>> Build() {
  std::map<std::string, std::vector<std::string>> shared;
  for (const CategoryClassCodeRow* row = CategoryClassCodeTable; !row->categories.empty(); ++row) {
    if (*row->kind == '\0') continue;
    const std::vector<std::string> codes = Codes(row->categories);
    auto [it, added] = shared.try_emplace(row->kind, codes);
    if (!added) Intersect(it->second, codes);
  }
  std::map<std::string, std::string, std::less<>> table;
  for (const auto& [kind, codes] : shared) {
    std::string text;
    for (const std::string& code : codes) text += (text.empty() ? "" : ";") + code;
    if (!text.empty()) table[kind] = text;
  }
  table["traincar"] = "TR;TV";
  table["consist"] = "CN";
  return table;
}

}  // namespace

Kiv::String KindCategoryTable(std::string_view kind) {
  static const auto table = Build();
  const auto found = table.find(kind);
  return found == table.end() ? Kiv::String() : Kiv::String(found->second);
}
