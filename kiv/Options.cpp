#include "kiv/Options.h"

#include <strings.h>
#include <cstring>

namespace Kiv {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

void Options::ProcessRaw(const char* text) {
  if (text == nullptr) return;
  std::string_view rest(text);
  while (!rest.empty()) {
    size_t start = rest.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return;
    rest.remove_prefix(start);
    size_t end = rest.find_first_of(" \t\r\n");
    std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    if (word.size() < 2 || word[0] != '-') continue;
    word.remove_prefix(1);
    size_t eq = word.find('=');
    Switch entry{std::string(word.substr(0, eq)),
                 eq == std::string_view::npos ? std::string() : std::string(word.substr(eq + 1))};
    for (Switch& existing : switches_) {
      if (!SameName(existing.name, entry.name)) continue;
      existing = std::move(entry);
      entry.name.clear();
      break;
    }
    if (!entry.name.empty()) switches_.push_back(std::move(entry));
  }
}

const Options::Switch* Options::Find(std::string_view name) const {
  for (const Switch& entry : switches_) {
    if (SameName(entry.name, name)) return &entry;
  }
  return nullptr;
}

bool Options::Has(std::string_view name) const {
  return Find(name) != nullptr;
}

std::string Options::Get(std::string_view name) const {
  const Switch* entry = Find(name);
  return entry ? entry->value : std::string();
}

bool Options::GetFlag(std::string_view name) const {
  const Switch* entry = Find(name);
  if (entry == nullptr) return false;
  for (const char* off : {"0", "false", "no", "off"}) {
    if (SameName(entry->value, off)) return false;
  }
  return true;
}

}  // namespace Kiv
