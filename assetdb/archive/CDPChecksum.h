// CDPChecksum: the "dsid" stamp of an archive entry, the checksum of the
// bytes of every file in its "files" tree.
//
// ChecksumTree(soup) starts from the empty pair and walks the children in
// order: a container adds its own ChecksumTree, a byte tag (in-memory type
// 2) adds ChecksumPair::Compute of its bytes, other tags are ignored; every
// addition is ChecksumPair::Add. Names do not enter the sum. The walk keeps
// its own stack (no recursion); a container nested more than
// BinarySoup::kMaxDepth levels below `soup`, or one that already lies on
// the path to itself (a cycle of shared chunks), counts as the empty pair.
// Neither can come from a file.
//
// ComputeFilesChecksum is ChecksumTree of the entry's "files" (the empty
// pair without one). SetDSID stores its text as the "dsid" string tag;
// VerifyDSID is true when "dsid" holds exactly that text.
//
// Nothing fails. Threads: reads (SetDSID writes) the given soup only.
#pragma once

#include "assetdb/protocol/ChecksumPair.h"
#include "foundation/soup/Soup.h"

namespace CDP {

ChecksumPair ChecksumTree(const Soup& soup);
ChecksumPair ComputeFilesChecksum(const Soup& entry);
void SetDSID(Soup& entry);
bool VerifyDSID(const Soup& entry);

}  // namespace CDP
