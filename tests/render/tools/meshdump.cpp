// meshdump FILE [--save OUT.lm]: loads a mesh file by its extension (".im"
// indexed, ".pm" progressive, ".lm" LOD, ".lm.txt" LOD description, whose
// level files lie beside it) with a plain material manager and no display,
// and prints what it holds: the result code, chunks with their vertices,
// faces, indices and material names, bounds, bones, attachment points and,
// for LOD meshes, levels and named meshes. With --save a LOD mesh (loaded
// and finished) is written as an "lm" file. Exit status 0 when the load
// (and the save) succeeded, 1 when not, 2 for bad usage.
#include <cstdio>
#include <cstring>
#include <string>

#include "kiv/display/MaterialManager.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"
#include "render/meshes/VandruProgressiveMeshDefinition.h"

namespace {

bool EndsWith(const std::string& text, const char* end) {
  const size_t n = std::strlen(end);
  return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

void PrintBones(const Kiv::ParticleBone* bone, int depth) {
  std::printf("%*sbone %s\n", 2 + 2 * depth, "", bone->name.c_str());
  for (const auto& child : bone->Children()) PrintBones(child.get(), depth + 1);
}

void PrintChunks(const char* indent, const std::vector<Kiv::Ref<Kiv::GeometryChunk>>& chunks,
                 const std::vector<Kiv::Ref<Kiv::Material>>& materials) {
  for (size_t i = 0; i < chunks.size(); ++i) {
    const Kiv::GeometryChunk& chunk = *chunks[i];
    const Kiv::Material* material = i < materials.size() ? materials[i].get() : nullptr;
    std::printf("%schunk %zu: vertices %u faces %u indices %u material %s\n", indent, i,
                chunk.GetNumVertices(), chunk.GetNumFaces(), chunk.GetNumIndices(),
                material != nullptr ? material->GetRequestName().c_str() : "-");
  }
}

void PrintMesh(const VandruIndexedMeshDefinition& mesh) {
  std::printf("chunks %u vertices %u faces %u\n", mesh.GetNumChunks(), mesh.GetNumVertices(),
              mesh.GetNumFaces());
  const auto& low = mesh.GetBoundsMin();
  const auto& high = mesh.GetBoundsMax();
  std::printf("bounds %g %g %g .. %g %g %g\n", low[0], low[1], low[2], high[0], high[1], high[2]);
  std::vector<Kiv::Ref<Kiv::GeometryChunk>> chunks;
  std::vector<Kiv::Ref<Kiv::Material>> materials;
  for (uint32_t i = 0; i < mesh.GetNumChunks(); ++i) {
    chunks.emplace_back(mesh.GetChunk(i));
    materials.emplace_back(mesh.GetMaterial(i));
  }
  PrintChunks("", chunks, materials);
  if (mesh.GetRootBone() != nullptr) PrintBones(mesh.GetRootBone(), 0);
  for (const MeshAttachment& attachment : mesh.GetAttachments())
    std::printf("attachment %s\n", attachment.name.c_str());
}

void PrintLevels(const VandruIndexedMeshLODDefinition& lod) {
  for (size_t i = 0; i < lod.levels.Count(); ++i) {
    const VandruIndexedMeshLODDefinition::Level& level = lod.levels[i];
    std::printf("level %zu: distance %g chunks %u vertices %u faces %u\n", i,
                i < lod.distances.size() ? lod.distances[i] : -1.0f, level.chunkCount,
                level.vertexTotal, level.faceTotal);
    PrintChunks("  ", level.chunks.Items(), level.materials.Items());
  }
  for (const auto& named : lod.namedMeshes.Items())
    std::printf("named %s: level %u%s\n", named.key.c_str(), named.levelIndex,
                named.animated ? " animated" : "");
  for (const auto& bone : lod.boneTable)
    std::printf("bone table: %s parent '%s'\n", bone.name.c_str(), bone.parentName.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const bool save = argc == 4 && std::strcmp(argv[2], "--save") == 0;
  if (argc != 2 && !save) {
    std::fprintf(stderr, "usage: meshdump FILE [--save OUT.lm]\n");
    return 2;
  }
  const std::string path = argv[1];
  Kiv::MaterialManager manager;
  uint32_t result = 0;
  if (EndsWith(path, ".lm") || EndsWith(path, ".lm.txt")) {
    VandruIndexedMeshLODDefinition lod;
    result = EndsWith(path, ".lm") ? lod.Load(nullptr, &manager, path)
                                   : lod.ParseDescription(nullptr, &manager, nullptr, path);
    if (result == kMeshOk) result = lod.FinishLoading(nullptr);
    std::printf("result %u\n", result);
    if (result != kMeshOk) return 1;
    PrintMesh(lod);
    PrintLevels(lod);
    if (!save) return 0;
    result = lod.SaveToPath(argv[3]);
    std::printf("save %u\n", result);
    return result == kMeshOk ? 0 : 1;
  }
  if (save) {
    std::fprintf(stderr, "meshdump: only LOD meshes are saved\n");
    return 2;
  }
  if (EndsWith(path, ".pm")) {
    VandruProgressiveMeshDefinition mesh;
    result = mesh.Load(nullptr, &manager, nullptr, path, 0xFFFFFFFF);
    std::printf("result %u\n", result);
    if (result == kMeshOk) PrintMesh(mesh);
    return result == kMeshOk ? 0 : 1;
  }
  VandruIndexedMeshDefinition mesh;
  result = mesh.OpenResourceFile(path);
  if (result == kMeshOk) result = mesh.Load(nullptr, &manager, nullptr, 0, 0xFFFFFFFF);
  std::printf("result %u\n", result);
  if (result == kMeshOk) PrintMesh(mesh);
  return result == kMeshOk ? 0 : 1;
}
