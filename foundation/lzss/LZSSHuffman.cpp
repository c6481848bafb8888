#include "foundation/lzss/LZSSHuffman.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr int32_t kNoParent = -1;
constexpr int32_t kUnlinked = -2;

}  // namespace

void LZSSHuffmanTree::Init(uint32_t symbols) {
  leaves_ = (symbols + 1) & ~1u;
  if (leaves_ < 2) leaves_ = 2;
  if (leaves_ > kMaxLeaves) leaves_ = kMaxLeaves;
  const uint32_t nodes = 2 * leaves_ - 1;
  root_ = nodes - 1;
  for (uint32_t i = 0; i < leaves_; ++i) {
    freq_[i] = 1;
    son_[i] = i | kLeafFlag;
    leaf_[i] = i;
  }
  for (uint32_t i = leaves_, j = 0; i < nodes; ++i, j += 2) {
    freq_[i] = freq_[j] + freq_[j + 1];
    son_[i] = j;
    parent_[j] = parent_[j + 1] = static_cast<int32_t>(i);
  }
  parent_[root_] = kNoParent;
  for (uint32_t i = nodes; i <= nodes + kScanWindow; ++i) freq_[i] = UINT32_MAX;
  // A tree set up again forgets the run guesses of its earlier shape.
  std::fill(std::begin(runHint_), std::end(runHint_), uint16_t{0});
  tableValid_ = false;
}

// Points the links that lead to the node whose son entry is `son` at
// `position`: the symbol's leaf entry, or the parent of both children.
void LZSSHuffmanTree::Relink(uint32_t son, uint32_t position) {
  if ((son & kLeafFlag) != 0) {
    leaf_[son & ~kLeafFlag] = position;
    return;
  }
  parent_[son] = parent_[son + 1] = static_cast<int32_t>(position);
}

bool LZSSHuffmanTree::Update(uint32_t symbol) {
  if (symbol >= leaves_) return false;
  if (freq_[root_] >= kRebuildWeight && !Rebuild()) return false;
  return ClimbHinted(leaf_[symbol]);
}

bool LZSSHuffmanTree::UpdateAlong(uint32_t symbol, const uint32_t* path, uint32_t length) {
  if (symbol >= leaves_ || length == 0 || path[length - 1] != leaf_[symbol]) return false;
  if (freq_[root_] >= kRebuildWeight) return Update(symbol);
  // Up the path while no node outweighs the next position: the positions
  // are known, so no parent link needs to be read. The first node that must
  // move hands over to the general climb.
  for (uint32_t i = length; i-- > 0;) {
    const uint32_t c = path[i];
    if (freq_[c + 1] <= freq_[c]) return ClimbHinted(c);
    ++freq_[c];
  }
  ++freq_[root_];
  return true;
}

// Adds one to the weights from position `c` up to the root, swapping a node
// that outgrows the next position with the last node of its old weight.
bool LZSSHuffmanTree::Climb(uint32_t position) {
  return Climb(position, false);
}

bool LZSSHuffmanTree::ClimbHinted(uint32_t position) {
  return Climb(position, true);
}

bool LZSSHuffmanTree::Climb(uint32_t position, bool hinted) {
  // A local copy: the weight stores would otherwise reload the member.
  const size_t root = root_;
  // Pointer-wide, so that c + 1 folds into the address. A parent lies past
  // its child (it outweighs it), so the climb ends.
  size_t c = position;
  if (c > root) return false;
  while (c != root) {
    const uint32_t k = ++freq_[c];
    if (freq_[c + 1] < k) {
      // The last position lighter than k, that is the last of the old
      // weight w. The hint left by the last swap at a weight of the same
      // slot is it when it lies past c, weighs w and the next does not
      // (weights are in order); else counting the lighter positions in
      // windows past c + 1 finds it without a branch per position (the
      // sentinels end the last window).
      const uint32_t w = k - 1;
      size_t l = runHint_[w % kRunHints];
      if (!hinted || l <= c || freq_[l] != w || freq_[l + 1] == w) {
        l = c + 2;
        for (;;) {
          uint32_t below = 0;
#pragma GCC unroll 8
          for (uint32_t j = 0; j < kScanWindow; ++j) below += freq_[l + j] < k ? 1u : 0u;
          l += below;
          if (below < kScanWindow) break;
        }
        --l;
      }
      if (l >= root) return false;
      // Once l grows, the run of w ends just below it.
      runHint_[w % kRunHints] = static_cast<uint16_t>(l - 1);
      const uint32_t sonC = son_[c];
      const uint32_t sonL = son_[l];
      Relink(sonL, c);
      Relink(sonC, l);
      freq_[c] = w;
      freq_[l] = k;
      son_[c] = sonL;
      son_[l] = sonC;
      if ((readDepth_[c] | readDepth_[l]) != 0 && tableValid_) {
        RefreshBelow(c);
        RefreshBelow(l);
      }
      c = l;
    }
    const size_t up = static_cast<uint32_t>(parent_[c]);
    if (up <= c || up > root) return false;
    c = up;
  }
  ++freq_[root];
  return true;
}

// The node at `position` moves to the next position: its links follow it.
void LZSSHuffmanTree::MoveUp(uint32_t position) {
  const uint32_t son = son_[position];
  if ((son & kLeafFlag) != 0) {
    ++leaf_[son & ~kLeafFlag];
    return;
  }
  ++parent_[son];
  ++parent_[son + 1];
}

// Halves the leaf weights and builds the internal nodes anew, pair by pair
// from the lightest, keeping the positions in weight order.
bool LZSSHuffmanTree::Rebuild() {
  tableValid_ = false;
  const uint32_t root = root_;
  for (uint32_t i = 0; i < root; ++i) {
    if ((son_[i] & kLeafFlag) != 0) freq_[i] = (freq_[i] + 1) >> 1;
  }
  for (uint32_t i = 0; i <= root; ++i) parent_[i] = kUnlinked;
  uint32_t slot = 0;
  uint32_t leavesAhead = leaves_;
  for (uint32_t a = 0; a < root; a += 2) {
    // The next position free for an internal node.
    while (slot <= root) {
      if ((son_[slot] & kLeafFlag) != 0) {
        if (leavesAhead > 0) --leavesAhead;
        ++slot;
      } else if (parent_[slot] == kUnlinked) {
        break;
      } else {
        ++slot;
      }
    }
    if (slot > root) return false;
    const uint32_t k = freq_[a] + freq_[a + 1];
    uint32_t s = slot;
    slot = s + 1;
    freq_[s] = k;
    if (s > 0 && freq_[s - 1] > k) {
      // Heavier nodes below s move up one position to make room.
      uint32_t p = s - 1;
      while (freq_[p] > k) {
        MoveUp(p);
        if (p == 0) return false;
        --p;
      }
      ++p;
      std::memmove(&freq_[p + 1], &freq_[p], (s - p) * sizeof freq_[0]);
      std::memmove(&son_[p + 1], &son_[p], (s - p) * sizeof son_[0]);
      s = p;
    } else {
      // Lighter leaves further up move down ahead of the new node.
      while (leavesAhead > 0) {
        uint32_t c = s + 1;
        while (c < root && (son_[c] & kLeafFlag) == 0) ++c;
        if (c >= root || freq_[c] >= k) break;
        freq_[s] = freq_[c];
        son_[s] = son_[c];
        parent_[s] = kUnlinked;
        leaf_[son_[c] & ~kLeafFlag] = s;
        son_[c] = 0;
        --leavesAhead;
        ++s;
        slot = s + 1;
      }
    }
    if (s > root) return false;
    freq_[s] = k;
    son_[s] = a;
    parent_[a] = parent_[a + 1] = static_cast<int32_t>(s);
  }
  parent_[root] = kNoParent;
  return true;
}

bool LZSSHuffmanTree::Code(uint32_t symbol, uint64_t& bits, uint32_t& length) const {
  if (symbol >= leaves_) return false;
  uint64_t code = 0;
  uint32_t n = 0;
  for (uint32_t c = leaf_[symbol]; c != root_; c = static_cast<uint32_t>(parent_[c])) {
    if (c > root_ || n >= 64) return false;
    code = (code << 1) | (c & 1);
    ++n;
  }
  bits = code;
  length = n;
  return true;
}

void LZSSHuffmanTree::RefreshBelow(uint32_t position) {
  const uint32_t depth = readDepth_[position];
  if (depth == 0) return;
  const uint32_t prefix = readPrefix_[position];
  const TableEntry& first = table_[prefix];
  if (first.path[depth - 1] != position) {
    // A mark left from an older walk (rare): the walks of its prefix are
    // made again from the root, which holds whatever they pass now.
    if (depth < kTableBits) FillTable(prefix, depth);
    return;
  }
  const uint32_t son = son_[position];
  // The walks end at `position` and still do when it is the last level or
  // holds a leaf again: only their son entry changes.
  if (first.used == depth && (depth == kTableBits || (son & kLeafFlag) != 0)) {
    for (uint32_t rest = 0; rest < (kTableSize >> depth); ++rest) {
      table_[prefix | rest << depth].son = static_cast<uint16_t>(son);
    }
    return;
  }
  FillBelow(position, prefix, depth);
}

// Walks again from `position` the patterns whose walks pass it: their
// positions down to it stay, so each goes on from there, in place.
void LZSSHuffmanTree::FillBelow(uint32_t position, uint32_t prefix, uint32_t depth) {
  const uint32_t start = son_[position];
  for (uint32_t rest = 0; rest < (kTableSize >> depth); ++rest) {
    const uint32_t pattern = prefix | rest << depth;
    TableEntry& entry = table_[pattern];
    uint32_t x = start;
    uint32_t used = depth;
    while (used < kTableBits && (x & kLeafFlag) == 0) {
      const uint32_t next = x + ((pattern >> used) & 1);
      entry.path[used++] = static_cast<uint16_t>(next);
      readDepth_[next] = static_cast<uint8_t>(used);
      readPrefix_[next] = static_cast<uint16_t>(pattern & ((1u << used) - 1));
      x = son_[next];
    }
    entry.used = static_cast<uint16_t>(used);
    entry.son = static_cast<uint16_t>(x);
    for (uint32_t i = used; i < kTableBits; ++i) entry.path[i] = Spare(i);
  }
}

// Walks each pattern from the root, marking every position whose son entry
// the walk reads (the root's never moves). A walk that ends on a leaf above
// the last level is also that of every pattern sharing its bits so far.
void LZSSHuffmanTree::FillTable(uint32_t prefix, uint32_t depth) {
  bool done[kTableSize] = {};
  for (uint32_t rest = 0; rest < (kTableSize >> depth); ++rest) {
    const uint32_t pattern = prefix | rest << depth;
    if (done[pattern]) continue;
    TableEntry& entry = table_[pattern];
    uint32_t x = son_[root_];
    uint32_t used = 0;
    for (;;) {
      const uint32_t position = x + ((pattern >> used) & 1);
      entry.path[used++] = static_cast<uint16_t>(position);
      readDepth_[position] = static_cast<uint8_t>(used);
      readPrefix_[position] = static_cast<uint16_t>(pattern & ((1u << used) - 1));
      x = son_[position];
      if (used == kTableBits || (x & kLeafFlag) != 0) break;
    }
    entry.used = static_cast<uint16_t>(used);
    entry.son = static_cast<uint16_t>(x);
    for (uint32_t i = used; i < kTableBits; ++i) entry.path[i] = Spare(i);
    for (uint32_t same = pattern + (1u << used); same < kTableSize; same += 1u << used) {
      table_[same] = entry;
      done[same] = true;
    }
  }
}

void LZSSHuffmanTree::ResetTable() {
  std::memset(readDepth_, 0, sizeof readDepth_);
  for (uint32_t level = 0; level < kTableBits; ++level) {
    freq_[Spare(level)] = 0;
    freq_[Spare(level) + 1] = UINT32_MAX;
  }
  FillTable(0, 0);
  tableValid_ = true;
}

// Flattened: the walk, the update and the climb in one body. The walk goes
// on from the end of the table's (then kTableBits long); the update goes up
// the positions past the table, then the table's.
[[gnu::flatten]] uint32_t LZSSHuffmanTree::DecodeDeep(uint64_t bits, uint32_t available,
                                                      uint32_t& symbol) {
  const TableEntry& entry = table_[bits & (kTableSize - 1)];
  // No code is longer than 64 bits.
  uint32_t deep[64 - kTableBits];
  uint32_t n = 0;
  bits >>= kTableBits;
  uint32_t x = entry.son;
  while ((x & kLeafFlag) == 0) {
    x += static_cast<uint32_t>(bits & 1);
    bits >>= 1;
    if (x >= root_ || n >= 64 - kTableBits) return 0;
    deep[n++] = x;
    x = son_[x];
  }
  const uint32_t used = kTableBits + n;
  if (used > available) return 0;
  symbol = x & ~kLeafFlag;
  if (freq_[root_] >= kRebuildWeight) return Update(symbol) ? used : 0;
  for (uint32_t i = n; i-- > 0;) {
    const uint32_t c = deep[i];
    if (freq_[c + 1] <= freq_[c]) return ClimbHinted(c) ? used : 0;
    ++freq_[c];
  }
  return ClimbTable(entry) ? used : 0;
}
