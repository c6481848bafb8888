// AssetRecord: what the asset-database daemon tells about one asset (the
// reply to asset-information request 0x15), and its reader.
//
// The record owns its texts and the two interned names; they are released
// with it. Fields the tool does not interpret (number1, name1, name2,
// flags2, byte1, value1, value2, kuid2 and the unnamed status bits) are
// carried as the daemon sends them.
//
// Reply layout read by ReadAssetInfoRecord (integers little-endian; every
// field is always present, whatever mask the request carried):
//   KUID kuid; string username, text2, text3; 18 bytes = status bits 0..17
//   (non-zero = set); u32 number1; string name1 (interned); string text4;
//   u32 authorId; string name2 (interned); string category; 3 bytes =
//   flags2 bits 0..2; u32 of which the low byte is byte1; f32 build;
//   u64 value1; u64 value2; KUID kuid2; byte flagE.
// A field the stream cannot supply reads as 0 (the null KUID for a KUID,
// the empty text for a string) and leaves the stream's error code at 4;
// the reader still answers true. Strings are bounded by the stream reader
// (at most 65535 bytes each), so a damaged reply never allocates without
// bound.
#pragma once

#include <cstdint>

#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class TStream;

// Bits of AssetRecord::status that the tool reads.
inline constexpr uint32_t kAssetLocallyModified = 0x4;
inline constexpr uint32_t kAssetInstalledLocally = 0x8;
inline constexpr uint32_t kAssetBuiltIn = 0x10;
inline constexpr uint32_t kAssetDownloadServiceItem = 0x20;
inline constexpr uint32_t kAssetOnDownloadService = 0x40;
inline constexpr uint32_t kAssetArchived = 0x80;
inline constexpr uint32_t kAssetOpenForEdit = 0x100;
inline constexpr uint32_t kAssetFaulty = 0x200;
inline constexpr uint32_t kAssetMissingDependencies = 0x800;

struct AssetRecord {
  AssetRecord() = default;
  ~AssetRecord() = default;

  KUID kuid;
  Kiv::String username;
  Kiv::String text2;
  Kiv::String text3;
  uint32_t status = 0x1;  // 18 one-bit flags
  uint32_t number1 = 0;
  Kiv::PString name1;
  Kiv::String text4;
  int32_t authorId = -1;
  Kiv::PString name2;
  Kiv::String category;
  uint8_t flags2 = 0;  // 3 one-bit flags
  int8_t byte1 = -1;
  float build = 0.0f;
  uint64_t value1 = 0;
  uint64_t value2 = 0;
  KUID kuid2;
  bool flagE = false;
};

inline constexpr uint32_t kAssetStatusBits = 18;
inline constexpr uint32_t kAssetFlags2Bits = 3;

bool ReadAssetInfoRecord(TStream& stream, AssetRecord& record);
