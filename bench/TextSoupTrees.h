// The soups of the text-soup benchmarks: groups of 10 tags (one of them a
// sub-soup of 2), so a group counts 11 tags with itself, with values of every
// type the text form writes. Shared by the benchmark and the output check
// (compare_outputs.sh), which must write exactly the same trees.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"

namespace benchtrees {

// Each group is a sub-soup of 10 tags (one of them a sub-soup of 2), so a
// group counts 11 tags with itself.
constexpr int kTagsPerGroup = 11;

struct Names {
  Kiv::PString index{"index"}, scale{"scale"}, name{"name"}, kuid{"kuid"}, position{"position"},
      description{"description"}, enabled{"enabled"}, mesh{"mesh"}, file{"file"}, flags{"flags"};
};

inline Soup MakeSoup(int tags) {
  const Names n;
  std::mt19937 rng(7);
  Soup root;
  root.Create();
  for (int g = 0; g < tags / kTagsPerGroup; ++g) {
    Soup group;
    group.SetNamedInt(n.index, g);
    group.SetNamedFloat(n.scale, float(rng() % 1000) / 8.0f);
    group.SetNamedTag(n.name, "object " + std::to_string(rng() % 100000));
    group.SetNamedKUID(n.kuid, KUID{int32_t(rng() % 500000), int32_t(rng() % 100000), 0});
    const float position[3] = {float(rng() % 100) / 4.0f, -float(rng() % 100) / 2.0f,
                               float(rng() % 1000) / 8.0f};
    group.SetNamedFloatArray(n.position, position);
    group.SetNamedTag(n.description, "A longer description of the object, with some words in it.");
    group.SetNamedInt(n.enabled, int32_t(rng() % 2));
    Soup mesh;
    mesh.SetNamedTag(n.file, "meshes/object" + std::to_string(g) + ".mesh");
    mesh.SetNamedInt(n.flags, int32_t(rng() % 64));
    group.SetNamedSoup(n.mesh, mesh);
    char groupName[32];
    std::snprintf(groupName, sizeof groupName, "group-%d", g);
    root.SetNamedSoup(Kiv::PString(groupName), group);
  }
  return root;
}

}  // namespace benchtrees
