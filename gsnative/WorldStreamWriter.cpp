#include "gsnative/WorldStreamWriter.h"

#include "foundation/stream/TStreamTyped.h"

void WorldStreamWriter::Flush() {
  if (stage_.GetError() != TStream::kErrorNone) target_.SetError(stage_.GetError());
  if (stage_.Size() != 0) TStreamWriteBytes(target_, stage_.Data(), stage_.Size());
  stage_.Reset();
}

uint32_t WorldStreamWriter::BeginChunk() {
  Flush();
  return target_.WriteMarker();
}

void WorldStreamWriter::EndChunk(uint32_t at) {
  Flush();
  target_.PatchLength(at);
}
