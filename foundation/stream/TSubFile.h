// TSubFile: a TStream over the window [start, end) of another stream (the
// parent), addressed from 0 at `start`.
//
// The parent is borrowed: it must outlive the TSubFile, and nothing else
// may move it while the window is in use (the window keeps the parent's
// logical position equal to its own raw position). The window starts at the
// parent's position at construction; a position outside the window is moved
// to its nearest bound, and an `end` below `start` gives an empty window.
//
// Reads never pass `end`; seeks stop at the window's bounds. Writes go
// through the parent and stay inside the window: the part of a write that
// does not fit is dropped and records kErrorFile. Reset does nothing.
#pragma once

#include <cstdint>

#include "foundation/stream/TStream.h"

class TSubFile : public TStream {
 public:
  TSubFile(TStream& parent, uint32_t start, uint32_t end);

  void Reset() override {}
  uint32_t Tell() override { return position_ - start_ - buffered_; }
  bool IsOpen() const override { return parent_.IsOpen(); }
  uint32_t Write(const void* data, uint32_t n) override;
  uint32_t ReadData(void* data, uint32_t n) override;
  // Answers the new position relative to the window's start.
  int64_t Seek(int64_t offset, int whence) override;
  bool IsEOF() const override;

 private:
  TStream& parent_;
  uint32_t start_;
  uint32_t end_;
  // Absolute offset in the parent of the next raw byte of the window.
  uint32_t position_;
};
