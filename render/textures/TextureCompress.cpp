#include "render/textures/TextureCompress.h"

#include <nvtt/nvtt.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "render/textures/OurOutputHandler.h"

namespace {

thread_local Kiv::String tLastCompressionError;

class OurErrorHandler : public nvtt::ErrorHandler {
 public:
  void error(nvtt::Error e) override {
    const char* text = nvtt::errorString(e);
    tLastCompressionError = text != nullptr ? text : "unknown compression error";
    reported_ = true;
  }
  bool Reported() const { return reported_; }

 private:
  bool reported_ = false;
};

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

bool DxtFormat(uint32_t target, bool alpha, nvtt::Format* format) {
  switch (target) {
    case kTargetDXT1:
      *format = alpha ? nvtt::Format_DXT1a : nvtt::Format_DXT1;
      return true;
    case kTargetDXT3:
      *format = nvtt::Format_DXT3;
      return true;
    case kTargetDXT5:
      *format = nvtt::Format_DXT5;
      return true;
    default:
      return false;
  }
}

bool NvttChain(const Kiv::Bitmap& source, TextureCompress& destination, nvtt::Format format,
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
    NvttChain(picture, levels, nvtt::Format_DXT5, false, false, false, false);
    tLastCompressionError.clear();
  });
}

bool NvttChain(const Kiv::Bitmap& source, TextureCompress& destination, nvtt::Format format,
               bool wrap, bool normalMap, bool mipmap, bool acceleration) {
  nvtt::Compressor compressor;
  nvtt::InputOptions input;
  nvtt::OutputOptions output;
  nvtt::CompressionOptions compression;
  OurOutputHandler outputHandler(destination);
  OurErrorHandler errorHandler;
  tLastCompressionError.clear();

  input.setMipmapGeneration(mipmap, -1);
  if (normalMap) input.setNormalMap(true);
  input.setWrapMode(wrap ? nvtt::WrapMode_Repeat : nvtt::WrapMode_Clamp);
  compressor.enableCudaAcceleration(acceleration);
  compression.setFormat(format);
  compression.setQuality(nvtt::Quality_Production);
  const int width = int(source.Width());
  const int height = int(source.Height());
  input.setTextureLayout(nvtt::TextureType_2D, width, height, 1);
  if (!input.setMipmapData(source.Pixels(), width, height, 1, 0, 0)) return false;
  input.setMipmapFilter(normalMap ? nvtt::MipmapFilter_Box : nvtt::MipmapFilter_Kaiser);
  output.setOutputHandler(&outputHandler);
  output.setErrorHandler(&errorHandler);
  output.setOutputHeader(false);
  if (!compressor.process(input, compression, output)) return false;
  outputHandler.FinishLevel();
  return !outputHandler.Failed() && !errorHandler.Reported();
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
  nvtt::Format dxt = nvtt::Format_DXT1;
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
