// Fuzzes the indexed mesh reader: any bytes must load or be refused with a
// result code, without reading past the data, allocating without bound or
// recursing without end. A display with hardware skinning and one without,
// with and without float weights, take the skinning paths in turn. The
// bytes are loaded from memory and, streamed, from a file holding them: both
// must give the same result.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "render/meshes/VandruIndexedMeshDefinition.h"

namespace {

// A scratch file of this process, removed at exit.
struct ScratchFile {
  ScratchFile() {
    char pattern[] = "/tmp/vu-fuzz-mesh-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd >= 0) {
      ::close(fd);
      path = pattern;
    }
  }
  ~ScratchFile() {
    if (!path.empty()) ::unlink(path.c_str());
  }
  bool Write(const uint8_t* data, size_t size) const {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
  }
  std::string path;
};

uint32_t LoadMesh(const uint8_t* data, size_t size, const ScratchFile* file) {
  static Kiv::MaterialManager manager;
  Kiv::Display display;
  const bool hardware = size > 0 && (data[size - 1] & 1) != 0;
  display.SetCapability(VandruIndexedMeshDefinition::kHardwareSkinningCapability, hardware);
  VandruIndexedMeshDefinition mesh;
  mesh.settings.hardwareAnimationFloatPrecision = {1, size > 0 && (data[size - 1] & 2) != 0};
  if (file == nullptr) {
    mesh.GetMemoryFile().Assign(data, size);
  } else if (mesh.OpenResourceFile(file->path) != kMeshOk) {
    return kMeshFileOpenError;
  }
  const uint32_t result = mesh.Load(&display, &manager, nullptr, 0, 0xFFFFFFFF);
  if (result > kMeshFileDataError) std::abort();
  if (result == kMeshOk && mesh.GetMemoryFile().HasData()) std::abort();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ScratchFile scratch;
  const uint32_t inMemory = LoadMesh(data, size, nullptr);
  if (scratch.path.empty() || !scratch.Write(data, size)) return 0;
  if (LoadMesh(data, size, &scratch) != inMemory) std::abort();
  return 0;
}
