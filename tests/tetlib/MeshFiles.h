// Mesh files for validation fixtures, written from a text manifest.
//
// A fixture folder may hold "meshes.txt", one mesh file a line:
//   NAME.im [attachments=a,b] [bones=a,b] [texture=NAME] [bytes=N]
//   NAME.pm                      (a progressive cube)
//   NAME.lm LEVEL.im             (a LOD mesh of one level, LEVEL.im)
// Indexed meshes are the test cube (tests/render/CubeFixture.h, 12
// faces) without texture unless `texture` names one, with
// ATCH points when `attachments` is given, bones of chunk 0 (a skeleton)
// with `bones`, cut to N bytes with `bytes`.
// WriteMeshFiles writes them into `folder` (NAME may hold subfolders, which
// are made) and removes the manifest; false
// (with a message on standard error) for a line it cannot follow.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kiv/display/MaterialManager.h"
#include "render/meshes/MeshResult.h"
#include "render/meshes/VandruIndexedMeshLODDefinition.h"
#include "tests/render/CubeFixture.h"

namespace tetfixture {

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

// The bytes of the test cube as an indexed mesh file.
inline std::string MeshBytes() {
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(meshfixture::CubeMesh(false));
  return std::string(bytes.begin(), bytes.end());
}

// The cube changed by the KEY=VALUE words of `keys` (meshfixture::ApplyKey),
// and bytes=N: cut to N bytes.
inline bool WriteIndexedMesh(const std::string& path, std::istringstream& keys) {
  meshfixture::MeshSpec spec = meshfixture::CubeMesh(false);
  size_t cut = 0;
  for (std::string word; keys >> word;) {
    const size_t equals = word.find('=');
    const std::string key = word.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
    if (key == "bytes") {
      cut = std::stoul(value);
    } else if (!meshfixture::ApplyKey(spec, key, value)) {
      return false;
    }
  }
  std::vector<uint8_t> bytes = meshfixture::WriteMesh(spec);
  if (cut != 0 && cut < bytes.size()) bytes.resize(cut);
  return WriteBytes(path, bytes);
}

inline bool WriteLodMesh(const std::string& folder, const std::string& name,
                         const std::string& level) {
  const std::string description = folder + "/" + name + ".txt";
  {
    std::ofstream out(description);
    out << "version 1.00\nmesh 0 { name " << level << " }\n";
  }
  Kiv::MaterialManager materials;
  VandruIndexedMeshLODDefinition lod;
  uint32_t result = lod.ParseDescription(nullptr, &materials, nullptr, description);
  if (result == kMeshOk) result = lod.FinishLoading(nullptr);
  if (result == kMeshOk) result = lod.SaveToPath(folder + "/" + name);
  std::filesystem::remove(description);
  return result == kMeshOk;
}

inline bool WriteMeshFiles(const std::string& folder) {
  const std::string manifest = folder + "/meshes.txt";
  std::ifstream in(manifest);
  if (!in) return true;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string name;
    if (!(words >> name)) continue;
    const std::string path = folder + "/" + name;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    bool written = false;
    if (name.size() > 3 && name.substr(name.size() - 3) == ".im") {
      written = WriteIndexedMesh(path, words);
    } else if (name.size() > 3 && name.substr(name.size() - 3) == ".pm") {
      meshfixture::MeshSpec spec = meshfixture::CubeMesh(false);
      spec.pmin = true;
      written = WriteBytes(path, meshfixture::WriteMesh(spec));
    } else if (name.size() > 3 && name.substr(name.size() - 3) == ".lm") {
      std::string level;
      written = (words >> level) && WriteLodMesh(folder, name, level);
    }
    if (!written) {
      std::fprintf(stderr, "meshes.txt: cannot write '%s'\n", line.c_str());
      return false;
    }
  }
  in.close();
  std::filesystem::remove(manifest);
  return true;
}

}  // namespace tetfixture
