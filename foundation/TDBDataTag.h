// TDBDataTag: an editable soup value: a type code and a shared raw core.
//
// GetType answers the stored code; GetData/GetDataSize answer the core's
// bytes (none and 0 without a core). SetData stores the type and shares the
// given core, which is never copied or changed afterwards, so several tags
// may share one core. Child operations keep the ACSChunk base behaviour.
//
// Ownership: holds one reference on its core (or none). Made with the count
// 1 for its creator (see ReferenceCountMP). Not locked.
#pragma once

#include <cstdint>

#include "foundation/ACSChunk.h"

class TDBDataTag : public ACSChunk {
 public:
  // A new tag of `type` sharing `core` (which may be empty).
  static ChunkRef Create(uint32_t type, CoreRef core);

  const uint8_t* GetData() const override;
  uint32_t GetDataSize() const override;
  uint32_t GetType() const override;
  void SetData(uint32_t type, CoreRef core) override;

 private:
  TDBDataTag() = default;

  CoreRef core_;
  uint32_t type_ = SoupType::kNull;
};
