#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "foundation/containers/GSIAVLTree.h"

namespace {

using Utils::GSIAVLNode;
using Utils::GSIAVLTree;

struct IntNode : GSIAVLNode {
  explicit IntNode(int k) : key(k) {}
  int Compare(const GSIAVLNode& other) const override {
    int o = static_cast<const IntNode&>(other).key;
    return key < o ? -1 : (key > o ? 1 : 0);
  }
  int key;
};

int KeyOf(const GSIAVLNode* n) {
  return static_cast<const IntNode*>(n)->key;
}

// Height of the subtree, checking order bounds and that every balance code
// tells the true difference of its children's heights (at most one).
int CheckSubtree(const GSIAVLNode* n, const int* lo, const int* hi, uint32_t& nodes) {
  if (!n) return 0;
  ++nodes;
  int k = KeyOf(n);
  if (lo) {
    EXPECT_GT(k, *lo);
  }
  if (hi) {
    EXPECT_LT(k, *hi);
  }
  int l = CheckSubtree(n->left, lo, &k, nodes);
  int r = CheckSubtree(n->right, &k, hi, nodes);
  EXPECT_LE(std::abs(r - l), 1) << "at key " << k;
  EXPECT_EQ(int(n->balance), r - l + 1) << "at key " << k;
  return 1 + std::max(l, r);
}

int CheckTree(const GSIAVLTree& tree) {
  uint32_t nodes = 0;
  int height = CheckSubtree(tree.root, nullptr, nullptr, nodes);
  EXPECT_EQ(nodes, tree.count);
  return height;
}

std::vector<int> InOrder(const GSIAVLTree& tree) {
  std::vector<int> keys;
  GSIAVLTree::Iterator it;
  for (GSIAVLNode* n = it.Start(tree); n; n = it.Next()) keys.push_back(KeyOf(n));
  EXPECT_FALSE(it.Overflowed());
  return keys;
}

TEST(GSIAVLTree, RandomInsertEraseAndFindKeepBalanceAndMatchSet) {
  std::mt19937 rng(42);
  std::vector<std::unique_ptr<IntNode>> nodes;
  for (int k = 0; k < 300; ++k) nodes.push_back(std::make_unique<IntNode>(k));
  GSIAVLTree tree;
  EXPECT_FALSE(tree.Insert(nullptr));
  std::set<int> model;
  for (int step = 0; step < 20000; ++step) {
    int k = int(rng() % nodes.size());
    IntNode probe(k);
    switch (rng() % 3) {
      case 0:
        ASSERT_EQ(tree.Insert(nodes[size_t(k)].get()), model.insert(k).second);
        break;
      case 1: {
        GSIAVLNode* removed = tree.Erase(probe);
        ASSERT_EQ(removed != nullptr, model.erase(k) == 1);
        if (removed) {
          EXPECT_EQ(removed, nodes[size_t(k)].get());
          EXPECT_EQ(removed->left, nullptr);
          EXPECT_EQ(removed->right, nullptr);
        }
        break;
      }
      default: {
        GSIAVLNode* found = tree.Find(probe);
        ASSERT_EQ(found != nullptr, model.count(k) == 1);
        if (found) {
          EXPECT_EQ(KeyOf(found), k);
        }
      }
    }
    if (step % 50 == 0) {
      CheckTree(tree);
      ASSERT_EQ(InOrder(tree), std::vector<int>(model.begin(), model.end()));
    }
  }
}

// Links made by hand can form a chain no AVL tree has; the walk must stop
// at its stack bound instead of writing past it.
TEST(GSIAVLTreeIterator, TooDeepChainEndsWalkWithoutOverflow) {
  std::vector<std::unique_ptr<IntNode>> chain;
  for (int k = 0; k < 100; ++k) chain.push_back(std::make_unique<IntNode>(100 - k));
  for (size_t i = 0; i + 1 < chain.size(); ++i) chain[i]->left = chain[i + 1].get();
  GSIAVLTree tree;
  tree.root = chain[0].get();
  GSIAVLTree::Iterator it;
  EXPECT_EQ(it.Start(tree), nullptr);
  EXPECT_TRUE(it.Overflowed());
  EXPECT_EQ(it.Next(), nullptr);

  // A chain that just fits is walked in full.
  chain[GSIAVLTree::Iterator::kMaxDepth - 1]->left = nullptr;
  int walked = 0;
  for (GSIAVLNode* n = it.Start(tree); n; n = it.Next()) ++walked;
  EXPECT_FALSE(it.Overflowed());
  EXPECT_EQ(walked, int(GSIAVLTree::Iterator::kMaxDepth));
}

}  // namespace
