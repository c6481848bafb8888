#include "gsnative/WorldPosition.h"

#include <cmath>

namespace {

void NormaliseAxis(int16_t& tile, float& offset) {
  const float q = offset / kWorldTileSize + 0.0001f;
  if (!std::isfinite(q)) return;
  double n = std::trunc(static_cast<double>(q));
  if (offset < 0.0f) n -= 1.0;
  // fmod is exact, so the tile moves by n modulo 65536 for every n.
  const auto step = static_cast<int32_t>(std::fmod(n, 65536.0));
  tile = static_cast<int16_t>(static_cast<uint16_t>(static_cast<int32_t>(tile) + step));
  offset -= static_cast<float>(n) * kWorldTileSize;
}

}  // namespace

void NormaliseWorldPosition(WorldPosition& position) {
  position.flag = 1;
  for (int axis = 0; axis < 2; ++axis) NormaliseAxis(position.tile[axis], position.offset[axis]);
}
