// meshfixture OUT [KEY=VALUE]...: writes an indexed mesh file (".im", or
// ".pm" with a PMIN chunk) from a short description, with the test-side
// writer (tests/render/MeshFixtureWriter.h). Without keys it writes one
// textured cube chunk with the newest chunk versions. Keys:
//   chunks=N        N cube chunks (default 1)
//   scale=F         positions times F
//   info=V geom=V matl=V   chunk versions
//   skin=S          skin weights per vertex of every GEOM (INFO then
//                   allows 4 weights and 24 bones)
//   bones=a,b:a,... influences on chunk 0 (name[:parent]); bone i weights
//                   vertex i with 1.0
//   skeleton=1      a SKEL chunk (root and one child)
//   attachments=n1,n2  ATCH with these names
//   pmin=1          a PMIN chunk after the others
// Exit status 0, or 2 for bad usage or a file that cannot be written.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/render/MeshFixtureWriter.h"

namespace {

std::vector<std::string> Split(const std::string& text, char by) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, by);) parts.push_back(part);
  return parts;
}

bool Apply(meshfixture::MeshSpec& spec, const std::string& key, const std::string& value) {
  const uint32_t number = uint32_t(std::strtoul(value.c_str(), nullptr, 10));
  if (key == "chunks") {
    spec.chunks.assign(number, spec.chunks.front());
  } else if (key == "scale") {
    for (auto& chunk : spec.chunks) chunk.geometry.scale = std::strtof(value.c_str(), nullptr);
  } else if (key == "info") {
    spec.infoVersion = number;
  } else if (key == "geom") {
    for (auto& chunk : spec.chunks) chunk.geometry.version = number;
  } else if (key == "matl") {
    for (auto& chunk : spec.chunks) chunk.material.version = number;
  } else if (key == "skin") {
    for (auto& chunk : spec.chunks) chunk.geometry.skinWeights = number;
    spec.maxWeights = 4;
    spec.maxBones = 24;
  } else if (key == "bones") {
    spec.influences = true;
    uint32_t vertex = 0;
    for (const std::string& bone : Split(value, ',')) {
      const std::vector<std::string> parts = Split(bone, ':');
      spec.influenceList.push_back(
          {parts[0], parts.size() > 1 ? parts[1] : "", {{0, {{vertex++, 1.0f}}}}});
    }
  } else if (key == "skeleton") {
    spec.skeleton = number != 0;
  } else if (key == "attachments") {
    spec.attachments = true;
    spec.attachmentNames = Split(value, ',');
  } else if (key == "pmin") {
    spec.pmin = number != 0;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: meshfixture OUT [KEY=VALUE]...\n");
    return 2;
  }
  meshfixture::MeshSpec spec;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t equals = arg.find('=');
    if (equals == std::string::npos ||
        !Apply(spec, arg.substr(0, equals), arg.substr(equals + 1))) {
      std::fprintf(stderr, "meshfixture: unknown setting '%s'\n", argv[i]);
      return 2;
    }
  }
  const std::vector<uint8_t> bytes = meshfixture::WriteMesh(spec);
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "meshfixture: cannot write '%s'\n", argv[1]);
    return 2;
  }
  return 0;
}
