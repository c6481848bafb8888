// Kiv::MaterialManager: makes materials by their decorated names.
//
// A decorated material name is owner "*" folder "*" kind; Split takes one
// apart (a name without "*" is all kind; with one "*", owner and kind).
// GetMaterial answers a new material of the name's kind, with its request
// name set and no reference taken yet (the caller takes it, e.g. with a
// Kiv::Ref). The base manager makes every
// kind except the empty one, for which it fails with kUnknownKind; derived
// managers may refuse kinds with kUnsupported. On failure the answer is
// null and `*failure` (may be null) holds the code. Thread-safe when the
// derived manager is.
#pragma once

#include <cstdint>

#include "kiv/PString.h"

namespace Kiv {

class Material;

class MaterialManager {
 public:
  static constexpr uint32_t kUnknownKind = 1;
  static constexpr uint32_t kUnsupported = 3;

  MaterialManager() = default;
  virtual ~MaterialManager() = default;
  MaterialManager(const MaterialManager&) = delete;
  MaterialManager& operator=(const MaterialManager&) = delete;

  static PString SplitDecoratedMaterialName(const PString& decorated, PString* owner,
                                            PString* folder);

  virtual Material* GetMaterial(const PString& decorated, uint32_t* failure);
};

}  // namespace Kiv
