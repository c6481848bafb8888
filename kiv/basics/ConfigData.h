// Kiv::ConfigData: an ordered list of (key, text) settings handed between
// engine parts (texture options, for one). Keys keep the case they were
// given; Find compares them without regard to ASCII case and answers the
// first match. A value type: copy it freely. Nothing here fails.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "kiv/String.h"

namespace Kiv {

class ConfigData {
 public:
  struct Entry {
    String key;
    String text;
  };

  void Add(std::string_view key, std::string_view text) {
    entries_.push_back(Entry{String(key), String(text)});
  }
  const std::vector<Entry>& Entries() const { return entries_; }
  // The text of the first entry whose key matches; null when none does.
  const String* Find(std::string_view key) const {
    for (const Entry& entry : entries_) {
      if (EqualsIgnoreCase(entry.key, key)) return &entry.text;
    }
    return nullptr;
  }

 private:
  std::vector<Entry> entries_;
};

}  // namespace Kiv
