// Kiv::ReferencePoint: the sub-names of a reference point's name. A name
// is made of parts joined by "."; GetSubNames answers the parts in order,
// empty parts left out ("p.door..left" gives "p", "door", "left"). Pure.
#pragma once

#include <string_view>
#include <vector>

#include "kiv/PString.h"

namespace Kiv {

struct ReferencePoint {
  static std::vector<PString> GetSubNames(std::string_view name) {
    std::vector<PString> parts;
    while (!name.empty()) {
      const size_t dot = name.find('.');
      const std::string_view part = name.substr(0, dot);
      if (!part.empty()) parts.emplace_back(part);
      if (dot == std::string_view::npos) break;
      name.remove_prefix(dot + 1);
    }
    return parts;
  }
};

}  // namespace Kiv
