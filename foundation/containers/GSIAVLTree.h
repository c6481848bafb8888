// Utils::GSIAVLTree: an intrusive AVL tree ordered by the nodes' own
// virtual comparison.
//
// A node (Utils::GSIAVLNode) brings Compare(), its first virtual operation
// after the destructor: negative, zero or positive as this node sorts
// before, equal to or after the other. Each node keeps a balance code:
// kLeftDeeper (0), kBalanced (1) or kRightDeeper (2), and its `left` and
// `right` children. The tree holds `root` and `count` (nodes linked).
//
// Insert links a node by recursive descent, rebalancing with single or
// double rotations; a node equal to one already present is not inserted.
// Erase finds the node equal to a key, unlinks it (a node with two children
// is replaced by its in-order successor), rebalances, lowers `count` and
// answers the unlinked node (null when none is equal). Find walks from the
// root: negative goes left, positive goes right.
//
// Iterator::Start / Iterator::Next walk the nodes in order with a fixed
// stack of kMaxDepth (64) nodes. An AVL tree of height h holds at least
// Fib(h + 2) - 1 nodes, so any tree of fewer than 2^32 nodes is at most 45
// levels deep and the stack never fills. Should a walk meet a deeper tree
// (links changed by hand), it ends early and Overflowed() answers true; it
// never writes past the stack.
//
// Ownership: the tree does not own its nodes; their owners free them after
// unlinking them. A node is in one tree at most. Changing the tree
// invalidates iterators. Not thread-safe.
#pragma once

#include <cstdint>

namespace Utils {

class GSIAVLNode {
 public:
  static constexpr uint8_t kLeftDeeper = 0;
  static constexpr uint8_t kBalanced = 1;
  static constexpr uint8_t kRightDeeper = 2;

  GSIAVLNode() = default;
  virtual ~GSIAVLNode() = default;
  GSIAVLNode(const GSIAVLNode&) = delete;
  GSIAVLNode& operator=(const GSIAVLNode&) = delete;

  virtual int Compare(const GSIAVLNode& other) const = 0;

  uint8_t balance = kBalanced;
  GSIAVLNode* left = nullptr;
  GSIAVLNode* right = nullptr;
};

class GSIAVLTree {
 public:
  class Iterator {
   public:
    static constexpr uint32_t kMaxDepth = 64;

    // The first node in order; null for an empty tree.
    GSIAVLNode* Start(const GSIAVLTree& tree);
    // The next node in order; null at the end.
    GSIAVLNode* Next();
    bool Overflowed() const { return overflowed_; }

   private:
    GSIAVLNode* Current() const { return depth_ ? stack_[depth_ - 1] : nullptr; }
    void PushLeftSpine(GSIAVLNode* node);

    GSIAVLNode* stack_[kMaxDepth] = {};
    uint32_t depth_ = 0;
    bool overflowed_ = false;
  };

  GSIAVLTree() = default;
  GSIAVLTree(const GSIAVLTree&) = delete;
  GSIAVLTree& operator=(const GSIAVLTree&) = delete;

  GSIAVLNode* Find(const GSIAVLNode& key) const;
  // True when `node` was linked (and `count` raised).
  bool Insert(GSIAVLNode* node);
  GSIAVLNode* Erase(const GSIAVLNode& key);

  GSIAVLNode* root = nullptr;
  uint32_t count = 0;

 private:
  // Unlinks the node equal to `key` without touching `count`.
  GSIAVLNode* Remove(const GSIAVLNode& key);
};

}  // namespace Utils
