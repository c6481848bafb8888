// NvttModule: the one entry of the DXT compressor module, a shared library
// of its own (libvu_nvtt.so, built from render/nvttmodule/) that alone links
// NVIDIA Texture Tools and the image libraries nvtt needs. The tool loads it
// with dlopen on the first DXT compression, so a command that compresses no
// texture never maps those libraries.
//
// VuNvttCompress(pixels, width, height, format, flags, sink) compresses one
// picture (32-bit pixels, tight rows) with nvtt's quick block fit, the one
// that gives the same blocks for a picture in every process: `format` one
// of the kNvtt* formats, `flags` the kNvtt* bits. Each level made goes to
// the sink (beginImage with the level's byte size and sides, then its bytes
// through writeData); an error nvtt reports goes to `error` with its text.
// Answers 1 when nvtt finished, 0 when it failed (or the arguments are
// bad). The sink's functions are called on the caller's thread only.
//
// NvttModuleCompress (in TextureCompress.cpp's side of the tool) finds the
// module beside the program, else in the build tree's module folder
// (programs run from the build tree; foundation/layout/ProgramModule.h),
// once per process.
#pragma once

#include <cstdint>

extern "C" {

struct VuNvttSink {
  void* context;
  void (*beginImage)(void* context, int size, int width, int height);
  int (*writeData)(void* context, const void* data, int size);
  void (*error)(void* context, const char* text);
};

typedef int (*VuNvttCompressFunction)(const void* pixels, int width, int height, int format,
                                      uint32_t flags, const VuNvttSink* sink);

}  // extern "C"

constexpr const char* kNvttModuleFile = "libvu_nvtt.so";
constexpr const char* kNvttCompressSymbol = "VuNvttCompress";

constexpr int kNvttDxt1 = 0;
constexpr int kNvttDxt1a = 1;
constexpr int kNvttDxt3 = 2;
constexpr int kNvttDxt5 = 3;

constexpr uint32_t kNvttWrap = 1;
constexpr uint32_t kNvttNormalMap = 2;
constexpr uint32_t kNvttMipmap = 4;
constexpr uint32_t kNvttAcceleration = 8;
