// Fuzzes the LOD text description and the configuration text parser under
// it: any text must assemble a LOD mesh or be refused with a result code.
// The level files it may name ("a.im", "b.im", "c.im" with fewer bones,
// "d.im" with other attachment points, "e.imtxt" a text mesh with the
// bones and attachment points of "a.im") are written once into a scratch
// folder. What assembles must save and load back.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"
#include "tests/render/MeshFixtureWriter.h"

namespace {

void Write(const std::string& path, float scale, std::vector<meshfixture::InfluenceSpec> bones,
           std::vector<std::string> attachments) {
  meshfixture::MeshSpec spec;
  spec.chunks[0].geometry.scale = scale;
  spec.influences = !bones.empty();
  spec.influenceList = std::move(bones);
  spec.attachments = !attachments.empty();
  spec.attachmentNames = std::move(attachments);
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(spec);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A plain array, so that it outlives the exit handler that removes it.
char gFolder[64];

std::string LevelFolder() {
  static const bool made = [] {
    std::snprintf(gFolder, sizeof(gFolder), "/tmp/vu-fuzz-lod-XXXXXX");
    if (::mkdtemp(gFolder) == nullptr) std::abort();
    const std::string folder = gFolder;
    const std::vector<meshfixture::InfluenceSpec> bones = {
        {"root", "", {{0, {{0, 1.0f}, {1, 0.5f}}}}}, {"arm", "root", {{0, {{1, 0.5f}}}}}};
    Write(folder + "/a.im", 1.0f, bones, {"door:Cull", "a.light"});
    Write(folder + "/b.im", 0.5f, bones, {"door:Cull", "a.light"});
    Write(folder + "/c.im", 0.5f, {{"root", "", {}}}, {"door:Cull", "a.light"});
    Write(folder + "/d.im", 0.5f, bones, {"x"});
    std::ofstream(folder + "/e.imtxt")
        << "version 1.00\nchunk body { material { kind tbumptex }\n"
           " positions \"0 0 0 1 0 0 0 1 0\" texCoords \"0 0 1 0 0 1\" indices \"0 1 2\" }\n"
           "influence root { group 0 { entries \"0 1 0 0 0\" } }\n"
           "influence arm { parent root group 0 { entries \"1 0.5 0 0 0\" } }\n"
           "attachment door:Cull { } attachment a.light { }\n";
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(gFolder, ignored);
    });
    return true;
  }();
  return made ? std::string(gFolder) : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Kiv::MaterialManager manager;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  VandruIndexedMeshLODDefinition lod;
  const uint32_t result =
      lod.ParseDescriptionText(nullptr, &manager, nullptr, text, LevelFolder(), "fuzz.lm.txt");
  if (result > kMeshFileDataError) std::abort();
  if (result != kMeshOk) return 0;
  if (lod.FinishLoading(nullptr) != kMeshOk) std::abort();
  std::vector<uint8_t> bytes;
  if (lod.Save(&bytes) != kMeshOk) std::abort();
  VandruIndexedMeshLODDefinition again;
  again.GetMemoryFile().Assign(bytes.data(), bytes.size());
  if (again.LoadFromMemory(nullptr, &manager) != kMeshOk) std::abort();
  return 0;
}
