// World positions: whole tiles of kWorldTileSize units plus an offset
// inside the tile, and the placement record that items fill with defaults.
//
// NormaliseWorldPosition moves each horizontal offset into its tile: it
// sets the flag byte to 1, then per axis takes n = offset / 720 + 0.0001
// truncated toward zero, minus 1 for a negative offset, adds n to the tile
// number (16-bit, wrapping) and takes n x 720 from the offset. So an offset
// of -1 becomes 719 in the tile before, and an offset within 0.072 below
// 720 moves into the next tile with a small negative offset. An offset that
// is not finite leaves its axis as it is; a huge one moves the tile by n
// modulo 65536, so no value gives undefined arithmetic.
#pragma once

#include <cstdint>

inline constexpr float kWorldTileSize = 720.0f;

struct WorldPosition {
  // Tile numbers on the first and second horizontal axis.
  int16_t tile[2] = {0, 0};
  // Offsets inside those tiles, on the same axes.
  float offset[2] = {0.0f, 0.0f};
  float height = 0.0f;
  uint8_t flag = 0;
};

struct WorldPlacement {
  uint8_t flag = 0;
  int16_t tile[2] = {0, 0};
  float values[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
};

void NormaliseWorldPosition(WorldPosition& position);
