// VandruProgressiveMeshDefinition: a progressive mesh ("pm" file), an
// indexed mesh file whose trailing chunks may also hold a PMIN chunk of
// progressive-mesh records. The records are checked and dropped: the mesh
// is drawn as the indexed mesh its chunks describe.
//
// Load opens the file itself (`path`), then reads as the indexed reader
// does, except that after the last CHNK it reads, each only while data
// remains, INFL or SKEL, ATCH and PMIN, once, in that order; any failure
// among them, or data left behind them, gives kMeshFileFormatError. No
// texture scale estimate is made (it stays 0).
//
// PMIN (version 101; another version gives kMeshFileVersionError): four
// counts (values, records, groups, levels), then the values (u32 each),
// the records (four u32, the fourth the number of values the record owns),
// the groups (two u32, the second the number of records the group owns)
// and the levels (u32, the number of groups the level owns). The counts
// must fit the bytes that remain, and what the levels, groups and records
// claim must not exceed the groups, records and values there are, else
// kMeshFileFormatError. Not thread-safe.
#pragma once

#include "render/meshes/VandruIndexedMeshDefinition.h"

class VandruProgressiveMeshDefinition : public VandruIndexedMeshDefinition {
 public:
  VandruProgressiveMeshDefinition() : VandruIndexedMeshDefinition(false) {}
  uint32_t Load(Kiv::Display* display, Kiv::MaterialManager* manager, Kiv::Resource* resource,
                const Kiv::String& path, uint32_t defaultColour);
  // The same on data already in the memory file.
  uint32_t LoadFromMemory(Kiv::Display* display, Kiv::MaterialManager* manager,
                          Kiv::Resource* resource, uint32_t defaultColour);

 protected:
  uint32_t ReadTrailingChunks(Kiv::MemoryFile& file, uint64_t fileEnd) override;
  virtual uint32_t ReadProgressiveInfoChunk(Kiv::MemoryFile& file);
};
