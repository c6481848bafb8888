// The vertex and pixel program texts of the bump materials.
//
// One vertex program set, "VandruBumpMaterial_Vtx", declares the six
// programs of the bump family (all on the PNTA layout: position, normal,
// texture coordinate, tangent) with the features each switches on; its one
// body is guarded section by section by those features. Six pixel programs
// (ps.1.1) light each pixel from a normal map; each declares its constant
// registers with number, name and default in its header.
//
// The texts are constants; the plug-ins register them with the display's
// program registries by these names. GetPixelProgramText answers null for
// a name that is not one of the six.
#pragma once

#include <cstddef>

namespace Kiv {

inline constexpr const char* kBumpVertexProgramSet = "VandruBumpMaterial_Vtx";

// The vertex program set's text.
const char* GetBumpVertexProgramText();

// The names of the pixel programs, in the order of GetPixelProgramNames.
inline constexpr const char* kPixelProgramNames[] = {
    "VandruBumpMat_ParallelLight",    "VandruBumpGlossMat_ParallelLight",
    "VandruBumpGlossMat_SpotLight",   "VandruBumpRustMat_ParallelLight",
    "VandruBumpEnvMat_ParallelLight", "VandruBumpEnvMat_SpotLight",
};

const char* GetPixelProgramText(const char* name);

}  // namespace Kiv
