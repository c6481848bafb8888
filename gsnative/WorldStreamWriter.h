// WorldStreamWriter: writes world-list chunks to a stream through a memory
// stage, so that each record is assembled (and its length patched) in
// memory and the target stream receives large writes only.
//
// Records are written to Stage(); EndRecord hands the stage to the target
// once it holds kFlushSize bytes, Flush whenever asked and on destruction.
// BeginChunk / EndChunk put a chunk's length field in the target itself
// (WriteMarker, later PatchLength), flushing first. The bytes that reach
// the target are exactly those written to the stage, in order. An error of
// the stage (memory) is recorded on the target; the target's own errors
// stay in its sticky error code.
#pragma once

#include <cstdint>

#include "gsnative/WorldStageStream.h"

class WorldStreamWriter {
 public:
  static constexpr uint32_t kFlushSize = 64 * 1024;

  explicit WorldStreamWriter(TStream& target) : target_(target) {}
  ~WorldStreamWriter() { Flush(); }
  WorldStreamWriter(const WorldStreamWriter&) = delete;
  WorldStreamWriter& operator=(const WorldStreamWriter&) = delete;

  TStream& Stage() { return stage_; }
  void EndRecord() {
    if (stage_.Tell() >= kFlushSize) Flush();
  }
  void Flush();
  uint32_t BeginChunk();
  void EndChunk(uint32_t at);

 private:
  TStream& target_;
  WorldStageStream stage_;
};
