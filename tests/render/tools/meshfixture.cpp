// meshfixture OUT [KEY=VALUE]...: writes an indexed mesh file (".im", or
// ".pm" with a PMIN chunk) from a short description, with the test-side
// writer (tests/render/MeshFixtureWriter.h). Without keys it writes one
// textured cube chunk with the newest chunk versions. Keys: ApplyKey in
// MeshFixtureWriter.h.
// Exit status 0, or 2 for bad usage or a file that cannot be written.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/render/MeshFixtureWriter.h"

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
        !meshfixture::ApplyKey(spec, arg.substr(0, equals), arg.substr(equals + 1))) {
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
