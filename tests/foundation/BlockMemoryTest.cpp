#include "foundation/containers/BlockMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

namespace {

using Utils::BlockMemory;

// Fills `pool`'s current block until it is full; answers the slots taken.
std::vector<void*> FillCurrent(BlockMemory& pool) {
  std::vector<void*> slots;
  const int block =
      pool.CurrentBlock() < 0 ? static_cast<int>(pool.BlockCount()) : pool.CurrentBlock();
  do {
    slots.push_back(pool.AllocateSlot());
  } while (pool.UsedSlots(block) < pool.SlotsPerBlock());
  return slots;
}

TEST(BlockMemory, HugeSlotsAndUninitialisedPoolsAreRefused) {
  BlockMemory pool;
  // A block whose slot offsets would not fit 32 bits is refused.
  EXPECT_FALSE(pool.Init(nullptr, UINT32_MAX, 32));
  BlockMemory uninitialised;
  EXPECT_EQ(uninitialised.AddBlock(), -1);
  EXPECT_EQ(uninitialised.AllocateSlot(), nullptr);
}

TEST(BlockMemory, SlotsDoNotOverlapAndAFullPoolAddsABlock) {
  BlockMemory pool;
  ASSERT_TRUE(pool.Init(nullptr, 10, 40));
  std::vector<void*> slots = FillCurrent(pool);
  EXPECT_EQ(pool.Count(), slots.size());
  std::vector<char*> sorted;
  for (void* slot : slots) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(slot) % 4, 0u);
    sorted.push_back(static_cast<char*>(slot));
  }
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 1; i < sorted.size(); ++i) EXPECT_GE(sorted[i] - sorted[i - 1], 10);
  // Every block full: no current block; the next request adds one.
  EXPECT_EQ(pool.CurrentBlock(), -1);
  void* next = pool.AllocateSlot();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(pool.BlockCount(), 2u);
  EXPECT_EQ(std::set<void*>(slots.begin(), slots.end()).count(next), 0u);
}

TEST(BlockMemory, FreedSlotIsReusedAndBadFreesAreRefused) {
  BlockMemory pool;
  ASSERT_TRUE(pool.Init(nullptr, 16, 32));
  void* a = pool.Allocate();
  void* b = pool.Allocate();
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(pool.FreeSlot(a));
  EXPECT_EQ(pool.Count(), 1u);
  EXPECT_FALSE(pool.FreeSlot(a));                          // already free
  EXPECT_FALSE(pool.FreeSlot(static_cast<char*>(b) + 4));  // not a slot start
  int outside = 0;
  EXPECT_FALSE(pool.FreeSlot(&outside));
  EXPECT_FALSE(pool.FreeSlot(nullptr));
  EXPECT_EQ(pool.Allocate(), a);
  EXPECT_EQ(pool.Count(), 2u);
}

TEST(BlockMemory, FreedSlotsAreFilledBeforeABlockIsAdded) {
  BlockMemory pool;
  ASSERT_TRUE(pool.Init(nullptr, 4, 32));
  std::vector<void*> block0 = FillCurrent(pool);
  std::vector<void*> block1 = FillCurrent(pool);
  std::vector<void*> block2 = FillCurrent(pool);
  ASSERT_EQ(pool.BlockCount(), 3u);
  ASSERT_EQ(pool.Count(), 96u);

  // Block 0 at 31 used, block 1 at 30: block 0 is the fullest with room.
  ASSERT_TRUE(pool.FreeSlot(block0[0]));
  ASSERT_TRUE(pool.FreeSlot(block1[0]));
  ASSERT_TRUE(pool.FreeSlot(block1[1]));
  pool.SelectCurrentBlock();
  EXPECT_EQ(pool.CurrentBlock(), 0);

  // Filling block 0 moves on to block 1 rather than adding a block.
  EXPECT_EQ(pool.AllocateSlot(), block0[0]);
  EXPECT_EQ(pool.CurrentBlock(), 1);
  pool.AllocateSlot();
  pool.AllocateSlot();
  EXPECT_EQ(pool.CurrentBlock(), -1);
  EXPECT_EQ(pool.BlockCount(), 3u);
  EXPECT_EQ(pool.Count(), 96u);
}

TEST(BlockMemory, RemoveResetAndFreeBlocks) {
  BlockMemory pool;
  ASSERT_TRUE(pool.Init(nullptr, 8, 32));
  FillCurrent(pool);
  FillCurrent(pool);
  pool.AllocateSlot();  // block 2, current
  ASSERT_EQ(pool.CurrentBlock(), 2);

  pool.RemoveBlock(7);  // out of range: nothing
  pool.RemoveBlock(-1);
  EXPECT_EQ(pool.BlockCount(), 3u);
  pool.RemoveBlock(0);
  EXPECT_EQ(pool.BlockCount(), 2u);
  EXPECT_EQ(pool.CurrentBlock(), 1);  // the gap is closed
  EXPECT_EQ(pool.Count(), 33u);

  pool.Reset();
  EXPECT_EQ(pool.BlockCount(), 1u);
  EXPECT_EQ(pool.Count(), 0u);
  FillCurrent(pool);  // every slot of the kept block is free again
  EXPECT_EQ(pool.BlockCount(), 1u);

  pool.FreeBlocks();
  EXPECT_EQ(pool.BlockCount(), 0u);
  EXPECT_EQ(pool.Count(), 0u);
  EXPECT_NE(pool.AllocateSlot(), nullptr);  // grows again
  EXPECT_EQ(pool.BlockCount(), 1u);
}

}  // namespace

namespace {

// Random takes and frees over many blocks, against a plain model of the
// pool's rule: the current block is filled first; when it is full, the
// fullest block with room follows (the later block among equals); a free
// with no current block makes the freed slot's block current.
TEST(BlockMemory, BlockChoiceFollowsTheFullestRuleOverManyBlocks) {
  BlockMemory pool;
  ASSERT_TRUE(pool.Init(nullptr, 8, 32));
  std::vector<std::pair<void*, int>> live;  // slot, block
  std::vector<uint32_t> used;               // the model's fill per block
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  auto modelCurrent = [&](int current) {
    if (current >= 0 && used[size_t(current)] < 32) return current;
    int best = -1;
    for (size_t i = used.size(); i-- > 0;)
      if (used[i] < 32 && (best < 0 || used[i] > used[size_t(best)])) best = int(i);
    return best;
  };
  for (int step = 0; step < 20000; ++step) {
    const bool take = live.empty() || next() % 100 < 60;
    if (take) {
      const int block = pool.CurrentBlock() < 0 ? int(pool.BlockCount()) : pool.CurrentBlock();
      void* slot = pool.AllocateSlot();
      ASSERT_NE(slot, nullptr);
      if (size_t(block) == used.size()) used.push_back(0);
      ++used[size_t(block)];
      live.emplace_back(slot, block);
      EXPECT_EQ(pool.CurrentBlock(), modelCurrent(block)) << "step " << step;
    } else {
      const size_t at = next() % live.size();
      const auto [slot, block] = live[at];
      live[at] = live.back();
      live.pop_back();
      const int before = pool.CurrentBlock();
      ASSERT_TRUE(pool.FreeSlot(slot));
      --used[size_t(block)];
      EXPECT_EQ(pool.CurrentBlock(), before < 0 ? block : before) << "step " << step;
    }
    if (pool.CurrentBlock() >= 0) {
      ASSERT_EQ(pool.UsedSlots(pool.CurrentBlock()), used[size_t(pool.CurrentBlock())]);
    }
  }
  EXPECT_EQ(pool.Count(), live.size());
  pool.SelectCurrentBlock();
  EXPECT_EQ(pool.CurrentBlock(), modelCurrent(-1));
}

}  // namespace
