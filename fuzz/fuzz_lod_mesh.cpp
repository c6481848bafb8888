// Fuzzes the LOD mesh reader: any bytes must load or be refused with a
// result code. What loads must save, and what that save holds must load and
// save again to a file of the same size (rotations pass through quaternions,
// so their last bits may move).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"

namespace {

uint32_t Load(const std::vector<uint8_t>& bytes, VandruIndexedMeshLODDefinition* lod,
              Kiv::Display* display) {
  static Kiv::MaterialManager manager;
  lod->GetMemoryFile().Assign(bytes.data(), bytes.size());
  return lod->LoadFromMemory(display, &manager);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Kiv::Display display;
  display.SetCapability(VandruIndexedMeshDefinition::kHardwareSkinningCapability,
                        size > 0 && (data[size - 1] & 1) != 0);
  VandruIndexedMeshLODDefinition lod;
  const uint32_t result = Load(std::vector<uint8_t>(data, data + size), &lod, &display);
  if (result > kMeshFileDataError) std::abort();
  if (result != kMeshOk) return 0;
  std::vector<uint8_t> first, second;
  if (lod.Save(&first) != kMeshOk) std::abort();
  VandruIndexedMeshLODDefinition again;
  if (Load(first, &again, &display) != kMeshOk) std::abort();
  if (again.Save(&second) != kMeshOk || second.size() != first.size()) std::abort();
  return 0;
}
