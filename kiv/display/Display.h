// Kiv::Display: the null display. It draws nothing; it keeps the render
// states that materials set and records every change, so that code which
// drives a display can run and be checked without one.
//
// Each setter stores the new value and appends one line to the record:
// the state's name, a blank and the value(s), e.g. "CullMode 2",
// "AlphaBlendFunction 5 6", "TexCoordGeneration 1 3" (unit, mode) or
// "FogDensity 0.25" (%g). Getters answer the current value without
// recording. Initial values: blend mode 0, blend function (1, 0), alpha
// test off, depth write on, cull mode 0, fog mode 0, fog density 0, colour
// material mode 0, texture coordinate generation 0 on every unit,
// anti-aliasing off.
//
// Capabilities are answered from a table that starts empty (every query
// false) and that the owner fills (SetCapability). Extensions likewise
// (AddExtension; HasExtension compares names exactly).
//
// ConvertColorArray turns file colours (0xAARRGGBB words) into the display's
// vertex colour form, which for the null display is the same word: the
// array is left as it is.
//
// Texture units: 0 to kMaxTextureUnits - 1; other units are ignored by the
// setter (nothing recorded) and read as 0. Not thread-safe: a display
// belongs to the thread that renders.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

#include "kiv/String.h"

namespace Kiv {

class Display {
 public:
  static constexpr uint32_t kMaxTextureUnits = 8;

  Display() = default;
  virtual ~Display() = default;
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  void SetCapability(uint32_t id, bool supported);
  bool GetCapability(uint32_t id) const { return capabilities_.count(id) != 0; }
  void AddExtension(std::string_view name) { extensions_.emplace(name); }
  bool HasExtension(std::string_view name) const { return extensions_.count(String(name)) != 0; }

  void SetAlphaBlendMode(uint32_t mode);
  uint32_t GetAlphaBlendMode() const { return blendMode_; }
  void SetAlphaBlendFunction(uint32_t source, uint32_t destination);
  uint32_t GetAlphaBlendSource() const { return blendSource_; }
  uint32_t GetAlphaBlendDestination() const { return blendDestination_; }
  void SetAlphaTest(bool enabled);
  bool GetAlphaTest() const { return alphaTest_; }
  void SetDepthWrite(bool enabled);
  bool GetDepthWrite() const { return depthWrite_; }
  void SetCullMode(uint32_t mode);
  uint32_t GetCullMode() const { return cullMode_; }
  void SetFogMode(uint32_t mode);
  uint32_t GetFogMode() const { return fogMode_; }
  void SetFogDensity(float density);
  float GetFogDensity() const { return fogDensity_; }
  void SetColorMaterialMode(uint32_t mode);
  uint32_t GetColorMaterialMode() const { return colorMaterialMode_; }
  void SetTexCoordGeneration(uint32_t unit, uint32_t mode);
  uint32_t GetTexCoordGeneration(uint32_t unit) const {
    return unit < kMaxTextureUnits ? texGen_[unit] : 0;
  }
  void SetAntiAliasing(bool enabled);
  bool GetAntiAliasing() const { return antiAliasing_; }

  void ConvertColorArray(uint32_t* colors, uint32_t count) const;

  const std::vector<String>& GetRecord() const { return record_; }
  void ClearRecord() { record_.clear(); }

 private:
  void Record(const char* format, ...) __attribute__((format(printf, 2, 3)));

  std::set<uint32_t> capabilities_;
  std::set<String> extensions_;
  uint32_t blendMode_ = 0;
  uint32_t blendSource_ = 1;
  uint32_t blendDestination_ = 0;
  bool alphaTest_ = false;
  bool depthWrite_ = true;
  uint32_t cullMode_ = 0;
  uint32_t fogMode_ = 0;
  float fogDensity_ = 0.0f;
  uint32_t colorMaterialMode_ = 0;
  std::array<uint32_t, kMaxTextureUnits> texGen_{};
  bool antiAliasing_ = false;
  std::vector<String> record_;
};

}  // namespace Kiv
