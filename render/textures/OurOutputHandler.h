// OurOutputHandler: collects what nvtt writes (through the compressor
// module's sink, NvttModule.h), one mip level at a time, into format-5
// bitmaps appended to a TextureCompress.
//
// beginImage finishes the level being written (if any) and starts one of
// the announced byte size; writeData copies bytes into it. nvtt does not
// look at writeData's answer, so the handler remembers every refusal
// itself: a write before any level, or one that would pass the announced
// size, copies nothing and marks the handler failed; so does a level that
// is finished (by the next beginImage or by FinishLevel) with fewer bytes
// than announced, and a level that cannot be made or appended. Failed()
// tells the compression to fail. The destination must outlive the handler;
// a level never finished is dropped with the handler. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>

#include "kiv/basics/Bitmap.h"
#include "render/textures/TextureCompress.h"

class OurOutputHandler {
 public:
  explicit OurOutputHandler(TextureCompress& destination) : destination_(destination) {}
  OurOutputHandler(const OurOutputHandler&) = delete;
  OurOutputHandler& operator=(const OurOutputHandler&) = delete;

  void beginImage(int size, int width, int height, int depth, int face, int miplevel);
  bool writeData(const void* data, int size);
  void FinishLevel();
  bool Failed() const { return failed_; }

 private:
  TextureCompress& destination_;
  std::unique_ptr<Kiv::Bitmap> current_;
  int32_t expected_ = 0;
  int32_t written_ = 0;
  bool failed_ = false;
};
