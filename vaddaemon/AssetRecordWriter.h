// WriteAssetRecord: the reply body of asset-information request 0x15, the
// daemon side of assetdb/AssetRecord.h (ReadAssetInfoRecord reads it).
//
// Every field is always written, whatever mask the request carried. For a
// known asset (`asset` not null):
//   kuid         the asset's KUID
//   username     its display name
//   text2        its era text ("category-era")
//   text3        its keywords (request 0x36)
//   status 0..17 the stored status bytes (each written as 0 or 1), but
//                byte 11 is `missingDependencies` (whether they are missing
//                now, DependencyCheck.h), whatever is stored
//   number1      0
//   name1        the content location of its installed files ("local"), or
//                empty when it is not installed
//   text4        its region text ("category-region")
//   authorId     its author id (-1 when unknown)
//   name2        its kind ("kind" of the configuration)
//   category     its category codes, ';'-separated
//   flags2       bit 0 favourite; bits 1 and 2 clear
//   word         0
//   build        its "vandru-build"
//   value1       Unix seconds of the last install or commit; value2 0
//   kuid2        the stored second KUID
//   flagE        1
// For an unknown asset (`asset` null): the null KUID, empty texts, status
// byte 0 set and the others clear, author id -1, zeros, the null KUID as
// kuid2 and flagE 0. Texts over 65535 bytes are cut (at a UTF-8 character
// boundary). Writing cannot fail short of the stream's own error.
#pragma once

class TStream;
struct StoredAsset;

void WriteAssetRecord(TStream& out, const StoredAsset* asset, bool missingDependencies);
