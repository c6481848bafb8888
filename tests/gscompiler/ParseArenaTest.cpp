// The parse arena's node pool: node links are 32-bit references into
// process-wide node blocks, so trees of several arenas live side by side,
// and released blocks neither break the nodes after them nor leak into the
// next arena that reuses their numbers.
#include <gtest/gtest.h>

#include <vector>

#include "gscompiler/GSParse.h"
#include "gscompiler/ParseNode.h"

using GSCompiler::ParseArena;

namespace {

// Enough nodes to fill several blocks.
constexpr int kManyNodes = 5000;

// Makes `count` nodes chained through `next`, each with its number as line.
std::vector<ParseNode*> MakeChain(ParseArena& arena, int count) {
  std::vector<ParseNode*> nodes;
  for (int i = 0; i < count; ++i) {
    ParseNode* node = arena.NewNode();
    if (node == nullptr) return {};
    node->line = i;
    if (!nodes.empty()) nodes.back()->next = node;
    nodes.push_back(node);
  }
  return nodes;
}

// Checks that walking `next` from the first node visits exactly `nodes`,
// whose lines count up from `firstLine`.
void ExpectChain(const std::vector<ParseNode*>& nodes, int firstLine = 0) {
  size_t i = 0;
  for (ParseNode* n = nodes.front(); n != nullptr; n = n->next, ++i) {
    ASSERT_LT(i, nodes.size());
    ASSERT_EQ(n, nodes[i]);
    ASSERT_EQ(n->line, firstLine + static_cast<int32_t>(i));
  }
  EXPECT_EQ(i, nodes.size());
}

}  // namespace

TEST(ParseArena, NewNodesHoldTheAsBuiltDefaultsAndNullLinks) {
  ParseArena arena;
  ParseNode* node = arena.NewNode();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->op, -1);
  EXPECT_EQ(node->type, ParseNode::TypeNone);
  EXPECT_EQ(node->next, nullptr);
  EXPECT_EQ(node->parent, nullptr);
  EXPECT_EQ(node->chain, nullptr);
  for (ParseNode* child : node->child) EXPECT_EQ(child, nullptr);
  EXPECT_EQ(ParseNodeRef(nullptr).Id(), 0u);
  // Every field keeps what it was given, links included.
  ParseNode* other = arena.NewNode();
  node->child[3] = other;
  node->parent = other;
  other->chain = node;
  EXPECT_EQ(node->child[3], other);
  EXPECT_EQ(node->parent->chain, node);
  node->child[3] = nullptr;
  EXPECT_EQ(node->child[3], nullptr);
}

TEST(ParseArena, LinksResolveAcrossBlocksAndArenasAndSurviveOtherArenasReset) {
  ParseArena first;
  ParseArena second;
  std::vector<ParseNode*> a = MakeChain(first, kManyNodes);
  std::vector<ParseNode*> b = MakeChain(second, kManyNodes);
  ASSERT_EQ(a.size(), static_cast<size_t>(kManyNodes));
  ASSERT_EQ(b.size(), static_cast<size_t>(kManyNodes));
  // A link from one arena's tree into the other's resolves too.
  a.back()->child[0] = b.front();
  EXPECT_EQ(a.back()->child[0]->next, b[1]);
  a.back()->child[0] = nullptr;
  ExpectChain(a);
  ExpectChain(b);

  // A reset arena gives its block numbers back; an arena that takes them
  // builds its own tree, and the other arena's tree is untouched.
  first.Reset();
  ParseArena third;
  std::vector<ParseNode*> c = MakeChain(third, kManyNodes);
  ASSERT_EQ(c.size(), static_cast<size_t>(kManyNodes));
  ExpectChain(b);
  ExpectChain(c);
  EXPECT_EQ(first.NodeCount(), 0u);
  EXPECT_EQ(third.NodeCount(), static_cast<uint32_t>(kManyNodes));
}

TEST(ParseArena, ReleasingEarlierNodesKeepsLaterOnesAndTheirChains) {
  ParseArena arena;
  std::vector<ParseNode*> nodes = MakeChain(arena, kManyNodes);
  ASSERT_EQ(nodes.size(), static_cast<size_t>(kManyNodes));
  for (ParseNode* n : nodes) n->parent = n;
  const int keepFrom = 3000;
  arena.ReleaseNodesBefore(nodes[keepFrom]);
  // The block of nodes[keepFrom] and every later one stay whole.
  const std::vector<ParseNode*> kept(nodes.begin() + keepFrom, nodes.end());
  ExpectChain(kept, keepFrom);
  // Clearing parents skips released blocks and reaches every live node.
  arena.ClearParents(0);
  for (ParseNode* n : kept) EXPECT_EQ(n->parent, nullptr);
  // A node outside the arena releases nothing.
  ParseArena other;
  ParseNode* stranger = other.NewNode();
  arena.ReleaseNodesBefore(stranger);
  ExpectChain(kept, keepFrom);
  // More nodes after a release link into the kept ones.
  ParseNode* more = arena.NewNode();
  ASSERT_NE(more, nullptr);
  more->next = kept.front();
  EXPECT_EQ(more->next->next, kept[1]);
}
