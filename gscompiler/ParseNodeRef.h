// ParseNodeRef: a 32-bit reference to a parse node, used for the links
// between nodes (children, next, parent, chain) so that a node takes 64
// bytes instead of 96 (the tree is most of a compile's memory).
//
// A reference holds a node id: the id of the node block (ParseNodeBlocks)
// in the upper bits and the node's slot in that block in the lower bits;
// 0 is null. It reads and assigns like a `ParseNode*`: it converts to the
// pointer, takes one, and has `->`. Every node referred to must live in a
// block made by ParseNodeBlocks::Allocate (a ParseArena's node pool); a
// reference to a freed block is as invalid as a dangling pointer.
//
// Blocks are aligned to their size, so the id of a node is found from its
// address: the block's header (the first slot) holds the block number.
// Ids are process-wide (a table from block number to block), so trees of
// several arenas may be alive at once, in any thread.
#pragma once

#include <cstddef>
#include <cstdint>

struct ParseNode;

namespace GSCompiler {
struct ParseTextTable;
}

namespace GSCompiler::ParseNodeBlocks {

// Bytes of one block, a power of two; the block is aligned to it.
constexpr size_t kBlockBytes = size_t{1} << 16;
// Bits of an id that hold the slot within the block.
constexpr uint32_t kSlotBits = 11;
// The most blocks alive at once in the process (block number 0 unused).
constexpr uint32_t kMaxBlocks = uint32_t{1} << (32 - kSlotBits);

// The start of each live block by block number; null for a free number.
extern char* blockStart[kMaxBlocks];

// What the first slot of a block holds.
struct BlockHeader {
  uint32_t number;
  ParseTextTable* texts;  // the texts of the arena that owns the block
};

// A new block (kBlockBytes bytes, aligned to kBlockBytes, contents
// undefined) and its number in `*number`; null when memory or block numbers
// ran out. Thread-safe.
char* Allocate(uint32_t* number);
// Frees the block of that number; its number may be reused. Thread-safe.
// Up to 256 freed blocks stay mapped for the next Allocate; of those, the
// first `limit` of SetResidentLimit keep their pages (all of them unless a
// caller chose fewer), the others give their pages back at once.
void Free(uint32_t number);
// Sets how many kept blocks keep their pages and answers the previous
// limit. A process that compiles once sets 0, so that the memory of the
// nodes freed during code generation goes back as the compile goes on;
// one that compiles again and again keeps the default. Thread-safe.
size_t SetResidentLimit(size_t blocks);

}  // namespace GSCompiler::ParseNodeBlocks

class ParseNodeRef {
 public:
  // Uninitialised, as a pointer member would be (ParseNode{} zeroes it);
  // trivial, so that a reference may share storage in a union.
  ParseNodeRef() = default;
  ParseNodeRef(ParseNode* node) : id_(IdOf(node)) {}  // NOLINT: reads like a pointer
  ParseNodeRef& operator=(ParseNode* node) {
    id_ = IdOf(node);
    return *this;
  }

  operator ParseNode*() const { return Resolve(id_); }  // NOLINT: reads like a pointer
  ParseNode* operator->() const { return Resolve(id_); }

  uint32_t Id() const { return id_; }

  static inline ParseNode* Resolve(uint32_t id);
  static inline uint32_t IdOf(const ParseNode* node);

 private:
  uint32_t id_;
};
