// Load checks over a mesh's list of materials (an indexed or progressive
// mesh's material list, or one level's list of a LOD mesh).
//
// RequestMaterialTextures asks for the load of every texture that a not yet
// loaded material holds in the slots its texture definitions name, in
// order; it answers false at once when a texture then reports a failed
// load, else true (also while textures still load).
//
// MaterialTexturesState answers 0 when every material is loaded, 1 when one
// failed, 5 while one still waits: a material waiting for textures (4)
// decides on its first texture that is not loaded (failed load or failed
// resource: 1; else 5); one with no texture definitions failed (1); one
// whose textures are all loaded still waits (5). Materials are looked at in
// order and the first that does not pass decides. Null entries pass.
#pragma once

#include <cstdint>
#include <vector>

#include "kiv/ReferenceCount.h"
#include "kiv/display/Material.h"

bool RequestMaterialTextures(const std::vector<Kiv::Ref<Kiv::Material>>& materials);
uint32_t MaterialTexturesState(const std::vector<Kiv::Ref<Kiv::Material>>& materials);
