// Results of loading a mesh. Readers stop at the first result that is not
// kMeshOk; the failure codes are 1 to 9.
#pragma once

#include <cstdint>

enum MeshResult : uint32_t {
  kMeshOk = 0,
  kMeshUnknown = 1,              // RES_UNKNOWN
  kMeshFileOpenError = 2,        // RES_FILE_OPEN_ERROR: no file data
  kMeshFileFormatError = 3,      // RES_FILE_FORMAT_ERROR: damaged or cut data
  kMeshFileVersionError = 4,     // RES_FILE_VERSION_ERROR
  kMeshNoMaterialManager = 5,    // RES_NO_MATERIAL_MANAGER
  kMeshUnsupportedMaterial = 6,  // RES_UNSUPPORTED_MATERIAL
  kMeshUnknownMaterial = 7,      // RES_UNKNOWN_MATERIAL
  kMeshFailChunkCreate = 8,      // RES_FAIL_CHUNK_CREATE
  kMeshFileDataError = 9,        // RES_FILE_DATA_ERROR
};

// The name ("RES_UNKNOWN" ...) and text ("Unknown mesh load error" ...) of a
// failure code 1 to 9; null for any other value.
const char* MeshResultName(uint32_t code);
const char* MeshResultText(uint32_t code);
