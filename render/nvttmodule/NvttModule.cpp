// The DXT compressor module (see render/textures/NvttModule.h): nvtt's
// classes behind one C entry.
#include "render/textures/NvttModule.h"

#include <nvtt/nvtt.h>

namespace {

class SinkOutput : public nvtt::OutputHandler {
 public:
  explicit SinkOutput(const VuNvttSink& sink) : sink_(sink) {}
  void beginImage(int size, int width, int height, int /*depth*/, int /*face*/,
                  int /*miplevel*/) override {
    sink_.beginImage(sink_.context, size, width, height);
  }
  bool writeData(const void* data, int size) override {
    return sink_.writeData(sink_.context, data, size) != 0;
  }

 private:
  const VuNvttSink& sink_;
};

class SinkErrors : public nvtt::ErrorHandler {
 public:
  explicit SinkErrors(const VuNvttSink& sink) : sink_(sink) {}
  void error(nvtt::Error e) override {
    const char* text = nvtt::errorString(e);
    sink_.error(sink_.context, text != nullptr ? text : "unknown compression error");
  }

 private:
  const VuNvttSink& sink_;
};

bool FormatOf(int format, nvtt::Format* out) {
  switch (format) {
    case kNvttDxt1:
      *out = nvtt::Format_DXT1;
      return true;
    case kNvttDxt1a:
      *out = nvtt::Format_DXT1a;
      return true;
    case kNvttDxt3:
      *out = nvtt::Format_DXT3;
      return true;
    case kNvttDxt5:
      *out = nvtt::Format_DXT5;
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int VuNvttCompress(const void* pixels, int width,
                                                                     int height, int format,
                                                                     uint32_t flags,
                                                                     const VuNvttSink* sink) {
  nvtt::Format dxt = nvtt::Format_DXT1;
  if (pixels == nullptr || sink == nullptr || width <= 0 || height <= 0 || !FormatOf(format, &dxt))
    return 0;
  const bool normalMap = (flags & kNvttNormalMap) != 0;
  nvtt::Compressor compressor;
  nvtt::InputOptions input;
  nvtt::OutputOptions output;
  nvtt::CompressionOptions compression;
  SinkOutput outputHandler(*sink);
  SinkErrors errorHandler(*sink);

  input.setMipmapGeneration((flags & kNvttMipmap) != 0, -1);
  if (normalMap) input.setNormalMap(true);
  input.setWrapMode((flags & kNvttWrap) != 0 ? nvtt::WrapMode_Repeat : nvtt::WrapMode_Clamp);
  compressor.enableCudaAcceleration((flags & kNvttAcceleration) != 0);
  compression.setFormat(dxt);
  // The block fit of nvtt's better qualities reads memory it never wrote,
  // so a picture gave other blocks from one process to the next; the quick
  // fit is deterministic (and as close to the picture by its error).
  compression.setQuality(nvtt::Quality_Fastest);
  input.setTextureLayout(nvtt::TextureType_2D, width, height, 1);
  if (!input.setMipmapData(pixels, width, height, 1, 0, 0)) return 0;
  input.setMipmapFilter(normalMap ? nvtt::MipmapFilter_Box : nvtt::MipmapFilter_Kaiser);
  output.setOutputHandler(&outputHandler);
  output.setErrorHandler(&errorHandler);
  output.setOutputHeader(false);
  return compressor.process(input, compression, output) ? 1 : 0;
}
