#include "render/textures/TextureCompress.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "foundation/layout/ProgramModule.h"
#include "render/textures/NvttModule.h"
#include "render/textures/OurOutputHandler.h"

namespace {

thread_local Kiv::String tLastCompressionError;

// What one compression hands back: the levels through the output handler,
// nvtt's error text.
struct Collector {
  OurOutputHandler* output = nullptr;
  bool reported = false;
};

void SinkBeginImage(void* context, int size, int width, int height) {
  static_cast<Collector*>(context)->output->beginImage(size, width, height, 1, 0, 0);
}

int SinkWriteData(void* context, const void* data, int size) {
  return static_cast<Collector*>(context)->output->writeData(data, size) ? 1 : 0;
}

void SinkError(void* context, const char* text) {
  tLastCompressionError = text;
  static_cast<Collector*>(context)->reported = true;
}

// The compressor module, loaded once per process (and never unloaded).
const ProgramModule& NvttModule() {
  static const ProgramModule module = LoadProgramModule(kNvttModuleFile, kNvttCompressSymbol);
  return module;
}

// Makes every non-zero pixel opaque; zero pixels stay zero.
void MakeOpaque(Kiv::Bitmap& source) {
  for (uint32_t y = 0; y < source.Height(); ++y) {
    uint32_t* pixel = source.Row(y);
    for (uint32_t x = 0; x < source.Width(); ++x, ++pixel) {
      if (*pixel != 0) *pixel |= 0xFF000000u;
    }
  }
}

bool UncompressedChain(const Kiv::Bitmap& source, TextureCompress& destination, uint32_t format) {
  auto level = std::make_unique<Kiv::Bitmap>(source.Width(), source.Height(), format);
  if (level->Pixels() == nullptr || !level->CopyImage(source, 0, 0)) return false;
  for (;;) {
    if (!level->DetachAlias()) return false;
    Kiv::Bitmap* top = level.get();
    if (!destination.Append(std::move(level))) return false;
    if (top->Width() <= 1 && top->Height() <= 1) return true;
    level = top->Scale(std::max(top->Width() / 2, 1u), std::max(top->Height() / 2, 1u));
    if (!level) return false;
  }
}

bool DxtFormat(uint32_t target, bool alpha, int* format) {
  switch (target) {
    case kTargetDXT1:
      *format = alpha ? kNvttDxt1a : kNvttDxt1;
      return true;
    case kTargetDXT3:
      *format = kNvttDxt3;
      return true;
    case kTargetDXT5:
      *format = kNvttDxt5;
      return true;
    default:
      return false;
  }
}

bool NvttChain(const Kiv::Bitmap& source, TextureCompress& destination, int format,
               bool wrap, bool normalMap, bool mipmap, bool acceleration);

// nvtt sets up some of its tables on first use, and the first compression of
// a process gives other blocks than the later ones. One small compression,
// once, before any other keeps compressions that run at once from racing on
// that set-up and makes every compression of a picture give the same blocks.
void WarmUpNvtt() {
  static std::once_flag once;
  std::call_once(once, [] {
    Kiv::Bitmap picture(4, 4, Kiv::Bitmap::kARGB);
    for (uint32_t y = 0; y < 4; ++y) {
      for (uint32_t x = 0; x < 4; ++x) picture.Row(y)[x] = 0x40000000u * x + 0x00102030u * y;
    }
    TextureCompress levels;
    NvttChain(picture, levels, kNvttDxt5, false, false, false, false);
    tLastCompressionError.clear();
  });
}

bool NvttChain(const Kiv::Bitmap& source, TextureCompress& destination, int format,
               bool wrap, bool normalMap, bool mipmap, bool acceleration) {
  tLastCompressionError.clear();
  const ProgramModule& module = NvttModule();
  const auto compress = reinterpret_cast<VuNvttCompressFunction>(module.entry);
  if (compress == nullptr) {
    tLastCompressionError = "DXT compression is not available: " + module.error;
    return false;
  }
  OurOutputHandler outputHandler(destination);
  Collector collector;
  collector.output = &outputHandler;
  const VuNvttSink sink = {&collector, &SinkBeginImage, &SinkWriteData, &SinkError};
  const uint32_t flags = (wrap ? kNvttWrap : 0) | (normalMap ? kNvttNormalMap : 0) |
                         (mipmap ? kNvttMipmap : 0) | (acceleration ? kNvttAcceleration : 0);
  if (compress(source.Pixels(), int(source.Width()), int(source.Height()), format, flags,
               &sink) == 0)
    return false;
  outputHandler.FinishLevel();
  return !outputHandler.Failed() && !collector.reported;
}

}  // namespace

bool TextureCompress::Append(std::unique_ptr<Kiv::Bitmap> level) {
  try {
    if (levels_.size() + 1 > capacity_) {
      const uint32_t grown = (uint32_t(levels_.size()) + 1 + kGrowth - 1) / kGrowth * kGrowth;
      levels_.reserve(grown);
      capacity_ = grown;
    }
    levels_.push_back(std::move(level));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

const Kiv::String& LastCompressionError() {
  return tLastCompressionError;
}

bool CompressBitmap(Kiv::Bitmap& source, TextureCompress& destination, uint32_t target, bool alpha,
                    bool wrap, bool normalMap, bool mipmap, bool acceleration) {
  const uint32_t format = source.GetFormat();
  if (format != Kiv::Bitmap::kARGB && format != Kiv::Bitmap::kXRGB) return false;
  if (source.Pixels() == nullptr) return false;
  int dxt = kNvttDxt1;
  const bool compressed = DxtFormat(target, alpha, &dxt);
  if (!compressed && target != kTargetARGB && target != kTargetXRGB && target != kTargetPassThrough)
    return false;
  if (format == Kiv::Bitmap::kXRGB || target == kTargetXRGB) MakeOpaque(source);
  if (compressed) {
    WarmUpNvtt();
    return NvttChain(source, destination, dxt, wrap, normalMap, mipmap, acceleration);
  }
  const uint32_t levelFormat = target == kTargetARGB   ? Kiv::Bitmap::kARGB
                               : target == kTargetXRGB ? Kiv::Bitmap::kXRGB
                                                       : Kiv::Bitmap::kPassThrough;
  return UncompressedChain(source, destination, levelFormat);
}
