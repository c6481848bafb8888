// Short named-tag accessors shared by the files of the old-configuration
// upgrade (tetlib/Upgrade.cpp, tetlib/UpgradeHelpers.cpp). Internal to
// tetlib; a missing tag reads as the empty text.
#pragma once

#include <string>
#include <string_view>

#include "tetlib/DataManager.h"

namespace TETLib::UpgradeTags {

inline Kiv::PString P(std::string_view text) {
  return Kiv::PString(text);
}

inline std::string Text(const Soup& soup, std::string_view name) {
  return soup.GetNamedTag(P(name)).Str();
}

}  // namespace TETLib::UpgradeTags
