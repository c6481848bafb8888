// Fuzzes the indexed mesh reader: any bytes must load or be refused with a
// result code, without reading past the data, allocating without bound or
// recursing without end. A display with hardware skinning and one without,
// with and without float weights, take the skinning paths in turn.
#include <cstdint>
#include <cstdlib>

#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Kiv::MaterialManager manager;
  Kiv::Display display;
  const bool hardware = size > 0 && (data[size - 1] & 1) != 0;
  display.SetCapability(VandruIndexedMeshDefinition::kHardwareSkinningCapability, hardware);
  VandruIndexedMeshDefinition mesh;
  mesh.settings.hardwareAnimationFloatPrecision = {1, size > 0 && (data[size - 1] & 2) != 0};
  mesh.GetMemoryFile().Assign(data, size);
  const uint32_t result = mesh.Load(&display, &manager, nullptr, 0, 0xFFFFFFFF);
  if (result > kMeshFileDataError) std::abort();
  if (result == kMeshOk && mesh.GetMemoryFile().HasData()) std::abort();
  return 0;
}
