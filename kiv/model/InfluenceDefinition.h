// Kiv::InfluenceDefinition: one bone's influence on the vertices of a
// skinned mesh, as mesh files store it: the bone's name and its parent's
// (empty for a root), its position and 3 x 3 orientation matrix (row by
// row), and groups of weighted entries under a key. A plain value type.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kiv/PString.h"

namespace Kiv {

struct InfluenceDefinition {
  struct Entry {
    uint32_t index = 0;
    std::array<float, 4> values{};
  };
  struct Group {
    uint32_t key = 0;
    std::vector<Entry> entries;
  };

  PString name;
  PString parentName;
  std::array<float, 3> position{};
  std::array<float, 9> orientation{};
  std::vector<Group> groups;
};

}  // namespace Kiv
