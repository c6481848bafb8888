// Fuzzes the progressive mesh reader (indexed mesh files with a PMIN
// chunk): any bytes must load or be refused with a result code, without
// reading past the data or allocating without bound.
#include <cstdint>
#include <cstdlib>

#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "render/meshes/VandruProgressiveMeshDefinition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Kiv::MaterialManager manager;
  Kiv::Display display;
  display.SetCapability(VandruIndexedMeshDefinition::kHardwareSkinningCapability,
                        size > 0 && (data[size - 1] & 1) != 0);
  VandruProgressiveMeshDefinition mesh;
  mesh.GetMemoryFile().Assign(data, size);
  const uint32_t result = mesh.LoadFromMemory(&display, &manager, nullptr, 0xFFFFFFFF);
  if (result > kMeshFileDataError) std::abort();
  if (result == kMeshOk && mesh.GetTextureScale() != 0.0f) std::abort();
  return 0;
}
