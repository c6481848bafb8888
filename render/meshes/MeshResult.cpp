#include "render/meshes/MeshResult.h"

namespace {

struct NameAndText {
  const char* name;
  const char* text;
};

// Indexed by code - 1.
constexpr NameAndText kResults[] = {
    {"RES_UNKNOWN", "Unknown mesh load error"},
    {"RES_FILE_OPEN_ERROR", "Unable to open file"},
    {"RES_FILE_FORMAT_ERROR", "Unexpected file format"},
    {"RES_FILE_VERSION_ERROR", "Incompatible file version"},
    {"RES_NO_MATERIAL_MANAGER", "Unable to find material manager in Render Kernel"},
    {"RES_UNSUPPORTED_MATERIAL", "Unable to create requested material"},
    {"RES_UNKNOWN_MATERIAL", "Unable to find the type of a requested material"},
    {"RES_FAIL_CHUNK_CREATE", "Failed to create geometry chunk"},
    {"RES_FILE_DATA_ERROR", "File contains invalid data"},
};

const NameAndText* Find(uint32_t code) {
  if (code < kMeshUnknown || code > kMeshFileDataError) return nullptr;
  return &kResults[code - 1];
}

}  // namespace

const char* MeshResultName(uint32_t code) {
  const NameAndText* found = Find(code);
  return found != nullptr ? found->name : nullptr;
}

const char* MeshResultText(uint32_t code) {
  const NameAndText* found = Find(code);
  return found != nullptr ? found->text : nullptr;
}
