// Vertex and pixel programs of the null display.
//
// Program texts are registered by name in two process-wide registries
// (VertexProgramManager::RegisterBuiltInPrograms for vertex program sets,
// TextureCombinerManager::RegisterBuiltInPrograms for pixel programs); a
// second registration under a name replaces the text. Registration is
// thread-safe.
//
// A display owns one manager of each kind. A vertex program is created by
// set name and program name: the set must be registered and its text must
// declare the program on a line "program <name> : ...". A pixel program
// (texture combiner) is created by name: its text must be registered; its
// constant registers start at the defaults that the text's header declares
// ("reg <n> (<name>) - x, y, z, w;"). A test may make the creation of a
// named program fail (FailCreation). Created programs are counted
// (Kiv::ReferenceCount) and hold their display, which must outlive them.
//
// Each program made records "CreateProgram <name>" on the display;
// ClearFailures lets the named programs be made again.
//
// Setting a constant stores it and records a line on the display:
// "VertexConstant <program> <index> x y z w" or
// "PixelConstant <program> <register> x y z w" (%g each).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"

namespace Kiv {

class Display;
class RenderKernel;

using Vector4 = std::array<float, 4>;

class VertexProgram : public ReferenceCount {
 public:
  VertexProgram(Display* display, const PString& set, const PString& name)
      : display_(display), set_(set), name_(name) {}

  const PString& GetSetName() const { return set_; }
  const PString& GetName() const { return name_; }
  void SetLocalConstant(uint32_t index, const Vector4& value);
  // (0, 0, 0, 0) for a constant never set.
  Vector4 GetLocalConstant(uint32_t index) const;

 private:
  Display* display_;
  PString set_;
  PString name_;
  std::map<uint32_t, Vector4> locals_;
};

class TextureCombiner : public ReferenceCount {
 public:
  TextureCombiner(Display* display, const PString& name, std::map<uint32_t, Vector4> defaults)
      : display_(display), name_(name), registers_(std::move(defaults)) {}

  const PString& GetName() const { return name_; }
  void SetConstant(uint32_t reg, const Vector4& value);
  // The register's value: set, else its declared default, else zero.
  Vector4 GetConstant(uint32_t reg) const;
  bool HasRegister(uint32_t reg) const { return registers_.count(reg) != 0; }

 private:
  Display* display_;
  PString name_;
  std::map<uint32_t, Vector4> registers_;
};

// The registers a pixel program text declares in its header, by number.
std::map<uint32_t, Vector4> ParseCombinerRegisters(std::string_view text,
                                                   std::map<uint32_t, std::string>* names);

class VertexProgramManager {
 public:
  explicit VertexProgramManager(Display* display) : display_(display) {}

  static void RegisterBuiltInPrograms(const PString& set, std::string_view text);
  // The registered text of a set; empty when none.
  static std::string GetBuiltInText(const PString& set);

  // Null when the set or program is unknown or a failure was asked for.
  // `type` and `flags` are the engine's and are not used by the null display.
  VertexProgram* CreateVertexProgram(const PString& set, const PString& name, RenderKernel* kernel,
                                     uint32_t type, uint32_t flags);
  void FailCreation(std::string_view name) { failing_.emplace(name); }
  void ClearFailures() { failing_.clear(); }
  uint32_t CreatedCount() const { return created_; }

 private:
  Display* display_;
  std::set<std::string, std::less<>> failing_;
  uint32_t created_ = 0;
};

class TextureCombinerManager {
 public:
  explicit TextureCombinerManager(Display* display) : display_(display) {}

  static void RegisterBuiltInPrograms(const PString& name, std::string_view text);
  static std::string GetBuiltInText(const PString& name);

  TextureCombiner* CreateTextureCombiner(const PString& name, RenderKernel* kernel, uint32_t flags);
  void FailCreation(std::string_view name) { failing_.emplace(name); }
  void ClearFailures() { failing_.clear(); }
  uint32_t CreatedCount() const { return created_; }

 private:
  Display* display_;
  std::set<std::string, std::less<>> failing_;
  uint32_t created_ = 0;
};

}  // namespace Kiv
