// The parse arena's node pool: node links are 32-bit references into
// process-wide node blocks, so trees of several arenas live side by side,
// and released blocks neither break the nodes after them nor leak into the
// next arena that reuses their numbers.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
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

// Pages of the block at `start` that are in memory; 0 for an unmapped block.
size_t ResidentPages(const char* start) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t pages = GSCompiler::ParseNodeBlocks::kBlockBytes / page;
  std::vector<unsigned char> map(pages);
  if (mincore(const_cast<char*>(start), GSCompiler::ParseNodeBlocks::kBlockBytes, map.data()) != 0)
    return 0;
  size_t resident = 0;
  for (unsigned char bit : map) resident += bit & 1u;
  return resident;
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

  // The reset arena and one whose nodes were released build again from
  // fresh blocks, without touching the trees of the others.
  std::vector<ParseNode*> again = MakeChain(first, kManyNodes);
  ASSERT_EQ(again.size(), static_cast<size_t>(kManyNodes));
  third.ReleaseNodes();
  std::vector<ParseNode*> after = MakeChain(third, kManyNodes);
  ASSERT_EQ(after.size(), static_cast<size_t>(kManyNodes));
  ExpectChain(again);
  ExpectChain(after);
  ExpectChain(b);
  EXPECT_EQ(after.front()->parent, nullptr);
  EXPECT_EQ(after.back()->op, -1);
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

TEST(ParseArena, ShortTextsAreSharedAndEveryTextReadsBackThroughItsNode) {
  ParseArena arena;
  // Many distinct names (several share a slot of the recent-text table),
  // each copied twice, a long one and one with a NUL inside its length.
  std::vector<std::string> texts;
  for (int i = 0; i < 5000; ++i) texts.push_back("name" + std::to_string(i));
  texts.push_back(std::string(100000, 'x'));
  texts.push_back(std::string("a\0b", 3));
  std::vector<ParseNode*> nodes;
  std::vector<uint32_t> ids;
  for (int round = 0; round < 2; ++round) {
    for (const std::string& t : texts) {
      uint32_t id = 0;
      const char* copy = arena.CopyText(t.data(), t.size(), &id);
      ASSERT_NE(copy, nullptr);
      ASSERT_EQ(std::string(copy, t.size()), t);
      EXPECT_EQ(copy[t.size()], '\0');
      ParseNode* node = arena.NewNode();
      ASSERT_NE(node, nullptr);
      node->text.SetArenaText(id);
      EXPECT_EQ(node->Text(), copy);
      nodes.push_back(node);
      ids.push_back(id);
    }
  }
  const size_t n = texts.size();
  for (size_t i = 0; i < 2 * n; ++i)
    ASSERT_EQ(std::string(nodes[i]->Text(), texts[i % n].size()), texts[i % n]) << i;
  EXPECT_NE(ids[n - 2], ids[2 * n - 2]) << "a long text gets a copy of its own";
  // A short name copied again at once is answered with its first copy.
  uint32_t first = 0;
  uint32_t again = 0;
  const char* a = arena.CopyText("a", 1, &first);
  EXPECT_EQ(arena.CopyText("a", 1, &again), a);
  EXPECT_EQ(again, first);
  EXPECT_NE(arena.CopyText("b", 1, &again), a);
  // Long texts and copies made without an id are never shared.
  const std::string longText(40, 'y');  // longer than any shared name
  const char* longCopy = arena.CopyText(longText.data(), longText.size(), &first);
  EXPECT_NE(arena.CopyText(longText.data(), longText.size(), &again), longCopy);
  EXPECT_NE(again, first);
  const char* plain = arena.CopyText("c", 1);
  EXPECT_NE(arena.CopyText("c", 1), plain);
  // A pointer the arena did not copy reads back too; null stays null.
  const char* other = "elsewhere";
  nodes[0]->className = other;
  nodes[1]->className = other;
  EXPECT_EQ(nodes[0]->ClassName(), other);
  EXPECT_EQ(nodes[1]->ClassName(), other);
  nodes[1]->className = nullptr;
  EXPECT_EQ(nodes[1]->ClassName(), nullptr);
}

// The names a few lines of source use over and over are each held once:
// the recent-text table tells apart names that differ in one byte anywhere.
TEST(ParseArena, NamesUsedInTurnStayShared) {
  ParseArena arena;
  const std::vector<std::string> names = {"count7", "values7", "scale7", "name7", "i", "n",
                                          "total",  "count8",  "dount7", "coumt7", "s", "f",
                                          "x1",     "x2",      "x3",     "1x",     "2x"};
  std::vector<const char*> first;
  for (const std::string& name : names) {
    uint32_t id = 0;
    first.push_back(arena.CopyText(name.data(), name.size(), &id));
  }
  for (int round = 0; round < 3; ++round) {
    for (size_t k = 0; k < names.size(); ++k) {
      uint32_t id = 0;
      EXPECT_EQ(arena.CopyText(names[k].data(), names[k].size(), &id), first[k]) << names[k];
    }
  }
}

// Under a resident limit, freed blocks beyond it give their pages back (a
// compile's memory falls while it goes on), and a block taken again
// afterwards is whole and writable.
TEST(ParseNodeBlocks, FreedBlocksBeyondTheResidentLimitGiveTheirPagesBack) {
  namespace Blocks = GSCompiler::ParseNodeBlocks;
  constexpr int kBlocks = 64;
  const size_t previous = Blocks::SetResidentLimit(16);
  std::vector<uint32_t> numbers;
  std::vector<char*> starts;
  for (int i = 0; i < kBlocks; ++i) {
    uint32_t number = 0;
    char* block = Blocks::Allocate(&number);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5a, Blocks::kBlockBytes);
    numbers.push_back(number);
    starts.push_back(block);
  }
  for (uint32_t number : numbers) Blocks::Free(number);
  size_t residentBlocks = 0;
  for (const char* start : starts) residentBlocks += ResidentPages(start) != 0;
  EXPECT_LE(residentBlocks, 16u) << "freed blocks kept their memory";

  numbers.clear();
  for (int i = 0; i < kBlocks; ++i) {
    uint32_t number = 0;
    char* block = Blocks::Allocate(&number);
    ASSERT_NE(block, nullptr);
    std::memset(block, i, Blocks::kBlockBytes);
    EXPECT_EQ(block[Blocks::kBlockBytes - 1], static_cast<char>(i));
    numbers.push_back(number);
  }
  for (uint32_t number : numbers) Blocks::Free(number);
  EXPECT_EQ(Blocks::SetResidentLimit(previous), 16u);
}
