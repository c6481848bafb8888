#include "kiv/display/Display.h"

#include <cstdarg>

namespace Kiv {

void Display::Record(const char* format, ...) {
  va_list args;
  va_start(args, format);
  record_.push_back(StringPrintfV(format, args));
  va_end(args);
}

void Display::SetCapability(uint32_t id, bool supported) {
  if (supported) {
    capabilities_.insert(id);
    return;
  }
  capabilities_.erase(id);
}

void Display::SetAlphaBlendMode(uint32_t mode) {
  blendMode_ = mode;
  Record("AlphaBlendMode %u", mode);
}

void Display::SetAlphaBlendFunction(uint32_t source, uint32_t destination) {
  blendSource_ = source;
  blendDestination_ = destination;
  Record("AlphaBlendFunction %u %u", source, destination);
}

void Display::SetAlphaTest(bool enabled) {
  alphaTest_ = enabled;
  Record("AlphaTest %d", enabled ? 1 : 0);
}

void Display::SetDepthWrite(bool enabled) {
  depthWrite_ = enabled;
  Record("DepthWrite %d", enabled ? 1 : 0);
}

void Display::SetCullMode(uint32_t mode) {
  cullMode_ = mode;
  Record("CullMode %u", mode);
}

void Display::SetFogMode(uint32_t mode) {
  fogMode_ = mode;
  Record("FogMode %u", mode);
}

void Display::SetFogDensity(float density) {
  fogDensity_ = density;
  Record("FogDensity %g", double(density));
}

void Display::SetColorMaterialMode(uint32_t mode) {
  colorMaterialMode_ = mode;
  Record("ColorMaterialMode %u", mode);
}

void Display::SetTexCoordGeneration(uint32_t unit, uint32_t mode) {
  if (unit >= kMaxTextureUnits) return;
  texGen_[unit] = mode;
  Record("TexCoordGeneration %u %u", unit, mode);
}

void Display::SetAntiAliasing(bool enabled) {
  antiAliasing_ = enabled;
  Record("AntiAliasing %d", enabled ? 1 : 0);
}

void Display::ConvertColorArray(uint32_t* /*colors*/, uint32_t /*count*/) const {}

}  // namespace Kiv
