// The adaptive Huffman tree of the LZSS Huffman coding.
//
// A tree is set up for a number of symbols (273 for literals and lengths, 16
// or 64 for distance high parts). It has (symbols + 1) rounded down to even
// leaves, all of weight 1 at the start, and 2 * leaves - 1 positions kept in
// non-decreasing weight order, the root last. After each coded symbol both
// sides call Update, which adds one to the weights on the symbol's path and
// swaps nodes to keep the order; when the root weight reaches 32768 the tree
// is first rebuilt with every leaf weight halved. The coder and the decoder
// must run exactly the same steps, so the update and the rebuild are part of
// the stream format.
//
// Code(s) answers the code of a symbol (bit 0 is the first bit to send) and
// its length. Decoding walks from Root() with Son(): a value with kLeafFlag
// set is a leaf holding the symbol in its low bits; any other value is the
// position of a first child, the second child being the next position.
//
// Decode does both halves of the decoder's step: it walks the code of one
// symbol from the low bits of `bits` (of which `available` are valid) and
// updates the tree for it, answering the bits it used; 0 when the code needs
// more bits than are available or the tree is found inconsistent. It is
// inline, for the decoder's loop. Its first kTableBits levels come from a
// table of the walks from the root, each keeping the positions it passes and
// the son entry it ends on; the update goes up those positions in a fixed
// count of steps (short walks are padded with a spare pair of weights that
// never moves a node). A swap of a node the table passes refreshes the
// entries below that node's position, walking again from there only, or
// renewing only their son entry when their walks still end there; a rebuild
// refreshes them all. The swap partner of a growing node, the last node of
// its old weight, is found from a checked hint that each swap leaves, or by
// a scan.
//
// Update and Code answer false only when the tree is found inconsistent,
// which a correct coder never sees; callers treat it as a failed stream.
// The arrays are members: a tree does not allocate. One thread per tree.
#pragma once

#include <cstddef>
#include <cstdint>

class LZSSHuffmanTree {
 public:
  static constexpr uint32_t kLeafFlag = 0x8000;
  static constexpr uint32_t kMaxLeaves = 274;
  static constexpr uint32_t kMaxNodes = 2 * kMaxLeaves - 1;
  static constexpr uint32_t kRebuildWeight = 32768;

  // `symbols` is 1 to 273.
  void Init(uint32_t symbols);
  bool Update(uint32_t symbol);
  // The same as Update for a symbol just decoded by a walk from the root
  // that passed the positions path[0..length) (the root's child first, the
  // symbol's leaf last); the walk spares reading the links back up. False
  // also when the path does not end at the symbol's leaf.
  bool UpdateAlong(uint32_t symbol, const uint32_t* path, uint32_t length);
  bool Code(uint32_t symbol, uint64_t& bits, uint32_t& length) const;
  inline uint32_t Decode(uint64_t bits, uint32_t available, uint32_t& symbol);

  uint32_t Leaves() const { return leaves_; }
  uint32_t Root() const { return root_; }
  uint32_t Son(uint32_t position) const { return son_[position]; }
  uint32_t Freq(uint32_t position) const { return freq_[position]; }
  int32_t Parent(uint32_t position) const { return parent_[position]; }
  uint32_t LeafOf(uint32_t symbol) const { return leaf_[symbol]; }

 private:
  static constexpr uint32_t kTableBits = 7;
  static constexpr uint32_t kTableSize = 1u << kTableBits;
  // The positions a walk from the root passes for one pattern of kTableBits
  // bits, up to the first leaf; the spare position pads the rest.
  struct TableEntry {
    uint16_t path[kTableBits];
    uint16_t used;
    uint16_t son;  // the son entry of the last position
  };

  // Up the path of `entry`, padding included.
  inline bool ClimbTable(const TableEntry& entry);
  // Decode for a code longer than the table's walk.
  uint32_t DecodeDeep(uint64_t bits, uint32_t available, uint32_t& symbol);
  void ResetTable();

  bool Rebuild();
  // Walks again the patterns whose low `depth` bits are `prefix`.
  void FillTable(uint32_t prefix, uint32_t depth);
  void FillBelow(uint32_t position, uint32_t prefix, uint32_t depth);
  void RefreshBelow(uint32_t position);
  // Climb uses no hint: swaps that start inside the table's walks seldom
  // meet a live one. ClimbHinted serves the deeper and plain updates.
  bool Climb(uint32_t position);
  bool ClimbHinted(uint32_t position);
  [[gnu::always_inline]] inline bool Climb(uint32_t position, bool hinted);
  void Relink(uint32_t son, uint32_t position);
  void MoveUp(uint32_t position);

  uint32_t leaves_ = 0;
  uint32_t root_ = 0;
  // Sentinels after the nodes end scans: freq_[nodes] and the kScanWindow
  // weights after it, so that a window starting below the root stays inside.
  static constexpr uint32_t kScanWindow = 8;
  // Spare pairs past them pad the table's paths of short codes, one pair
  // per level (Spare(level)), so that the padding's weight updates do not
  // queue on one address: a pair's first weight stays below the second, so
  // its update never moves a node.
  static constexpr uint32_t kSpare = kMaxNodes + 1 + kScanWindow;
  static constexpr uint16_t Spare(uint32_t level) { return uint16_t(kSpare + 2 * level); }
  uint32_t freq_[kSpare + 2 * kTableBits] = {};
  int32_t parent_[kMaxNodes + 1] = {};
  uint32_t son_[kMaxNodes + 1] = {};
  uint32_t leaf_[kMaxLeaves] = {};
  // Per weight modulo kRunHints, a guess at the last position of that
  // weight, checked before use: a stale or colliding one only costs a scan.
  static constexpr uint32_t kRunHints = 256;
  uint16_t runHint_[kRunHints] = {};
  // The walk table. A position whose son entry a walk read has its depth
  // (1 to kTableBits) in readDepth_ and the bits that lead to it in
  // readPrefix_; a mark left from an older walk only costs a needless
  // refresh.
  bool tableValid_ = false;
  TableEntry table_[kTableSize] = {};
  uint8_t readDepth_[kMaxNodes + 1] = {};
  uint16_t readPrefix_[kMaxNodes + 1] = {};
};

// Inline for the decoder's loop: most codes end inside the table's walk, and
// their update reads the positions straight from the table entry.
uint32_t LZSSHuffmanTree::Decode(uint64_t bits, uint32_t available, uint32_t& symbol) {
  if (!tableValid_) ResetTable();
  const TableEntry& entry = table_[bits & (kTableSize - 1)];
  const uint32_t x = entry.son;
  if ((x & kLeafFlag) == 0) return DecodeDeep(bits, available, symbol);
  const uint32_t used = entry.used;
  if (used > available) return 0;
  symbol = x & ~kLeafFlag;
  if (freq_[root_] >= kRebuildWeight) return Update(symbol) ? used : 0;
  return ClimbTable(entry) ? used : 0;
}

// The whole table path, padding included: a fixed count of steps.
bool LZSSHuffmanTree::ClimbTable(const TableEntry& entry) {
#pragma GCC unroll 8
  for (uint32_t i = kTableBits; i-- > 0;) {
    // Pointer-wide: c + 1 then folds into the address.
    const size_t c = entry.path[i];
    if (freq_[c + 1] <= freq_[c]) return Climb(static_cast<uint32_t>(c));
    ++freq_[c];
  }
  ++freq_[root_];
  return true;
}
