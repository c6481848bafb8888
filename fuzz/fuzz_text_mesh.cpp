// Fuzzes text meshes ("imtxt") and the configuration text parser under
// them: any text must load to a whole mesh or be refused with a result
// code. A loaded mesh's indices must name vertices of their chunk.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kiv/basics/ConfigParser.h"
#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Kiv::MaterialManager manager;
  static Kiv::Display display;
  display.SetCapability(VandruIndexedMeshDefinition::kHardwareSkinningCapability, true);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Kiv::ConfigParser parser;
  if (parser.ParseText(text) != Kiv::ConfigParser::kOk) return 0;
  // Odd sizes take the display that skins in hardware.
  VandruIndexedMeshDefinition mesh;
  const uint32_t result = mesh.LoadFromConfigData(size % 2 ? &display : nullptr, &manager,
                                                  nullptr, 0xFFFFFFFF, parser.GetRoot(),
                                                  "fuzz.imtxt");
  if (result > kMeshFileDataError) std::abort();
  if (result != kMeshOk) return 0;
  for (uint32_t c = 0; c < mesh.GetNumChunks(); ++c) {
    Kiv::GeometryChunk* chunk = mesh.GetChunk(c);
    if (chunk == nullptr || mesh.GetMaterial(c) == nullptr) std::abort();
    const uint16_t* indices = chunk->GetIndexArray();
    for (uint32_t i = 0; i < chunk->GetNumIndices(); ++i) {
      if (indices[i] >= chunk->GetNumVertices()) std::abort();
    }
  }
  (void)mesh.CalculateDataSize();
  return 0;
}
