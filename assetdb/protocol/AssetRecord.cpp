#include "assetdb/protocol/AssetRecord.h"

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

// `count` one-byte flags into bits 0..count-1.
uint32_t ReadFlagBits(TStream& stream, uint32_t count) {
  uint32_t bits = 0;
  for (uint32_t i = 0; i < count; ++i) {
    bool flag = false;
    TStreamReadBool(stream, flag, false);
    if (flag) bits |= 1u << i;
  }
  return bits;
}

}  // namespace

bool ReadAssetInfoRecord(TStream& stream, AssetRecord& record) {
  record.kuid = ReadKUID(stream);
  stream.ReadString(record.username);
  stream.ReadString(record.text2);
  stream.ReadString(record.text3);
  record.status = ReadFlagBits(stream, kAssetStatusBits);
  TStreamReadU32(stream, record.number1, 0);
  stream.ReadPString(record.name1);
  stream.ReadString(record.text4);
  uint32_t author = 0;
  TStreamReadU32(stream, author, 0);
  record.authorId = static_cast<int32_t>(author);
  stream.ReadPString(record.name2);
  stream.ReadString(record.category);
  record.flags2 = static_cast<uint8_t>(ReadFlagBits(stream, kAssetFlags2Bits));
  uint32_t word = 0;
  TStreamReadU32(stream, word, 0);
  record.byte1 = static_cast<int8_t>(word & 0xFF);
  TStreamReadFloat(stream, record.build, 0.0f);
  TStreamReadU64(stream, record.value1, 0);
  TStreamReadU64(stream, record.value2, 0);
  record.kuid2 = ReadKUID(stream);
  TStreamReadBool(stream, record.flagE, false);
  return true;
}
