// The cells that KUID objects share with their script instances: a cell
// goes back only when both halves are gone, whatever the order, and
// instances that do not belong in a cell come from the heap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gsnative/KUIDObjectCells.h"
#include "gsruntime/GSObjectReference.h"

namespace {

using Cells = KUIDObjectCells;

constexpr size_t kObject = Cells::kObjectBytes;
constexpr size_t kInstance = 88;

GSRuntime::GSObjectReference* AsNative(void* object) {
  return static_cast<GSRuntime::GSObjectReference*>(object);
}

bool Zeroed(const void* memory, size_t bytes) {
  const auto* at = static_cast<const unsigned char*>(memory);
  for (size_t i = 0; i < bytes; ++i)
    if (at[i] != 0) return false;
  return true;
}

TEST(KUIDObjectCellsTest, ACellGoesBackOnceBothHalvesAreGoneInEitherOrder) {
  Cells& cells = Cells::Get();
  const size_t chunks = cells.ChunkCount();
  struct Case {
    bool objectFirst;
    size_t bytes;
  };
  for (const Case c : {Case{true, kInstance}, Case{false, kInstance},
                       Case{true, Cells::kInstanceBytes}, Case{false, Cells::kInstanceBytes}}) {
    void* object = cells.TakeObject(kObject);
    ASSERT_NE(object, nullptr);
    void* instance = cells.Allocate(AsNative(object), c.bytes);
    ASSERT_EQ(instance, static_cast<char*>(object) + kObject);
    EXPECT_TRUE(Zeroed(instance, c.bytes));
    if (c.objectFirst) {
      cells.DropObject(object);
      cells.Free(instance, c.bytes);
    } else {
      cells.Free(instance, c.bytes);
      cells.DropObject(object);
    }
    // The same cell is the next one handed out: it was given back.
    void* again = cells.TakeObject(kObject);
    EXPECT_EQ(again, object);
    cells.DropObject(again);
  }
  EXPECT_LE(cells.ChunkCount(), chunks + 1);
}

TEST(KUIDObjectCellsTest, InstancesThatDoNotBelongInACellComeFromTheHeap) {
  Cells& cells = Cells::Get();
  void* object = cells.TakeObject(kObject);
  ASSERT_NE(object, nullptr);
  // Too large for the cell, of an object outside the cells, or a second
  // instance for an object that has one: none goes into a cell, and none
  // sits right after its object.
  struct Case {
    void* native;
    size_t bytes;
  };
  void* outside = std::malloc(64);
  void* placed = cells.Allocate(AsNative(object), kInstance);
  ASSERT_EQ(placed, static_cast<char*>(object) + kObject);
  const Case cases[] = {{object, Cells::kInstanceBytes + 8}, {outside, kInstance},
                        {object, kInstance}, {nullptr, kInstance}};
  for (const Case& c : cases) {
    void* instance = cells.Allocate(AsNative(c.native), c.bytes);
    ASSERT_NE(instance, nullptr);
    if (c.native != nullptr) {
      EXPECT_NE(instance, static_cast<char*>(c.native) + kObject);
    }
    EXPECT_TRUE(Zeroed(instance, c.bytes));
    cells.Free(instance, c.bytes);  // back to the heap (AddressSanitizer checks it)
  }
  cells.Free(placed, kInstance);
  cells.DropObject(object);
  std::free(outside);
}

TEST(KUIDObjectCellsTest, ObjectsMadeInARowSitSideBySideAndEmptyChunksGoBack) {
  Cells& cells = Cells::Get();
  const size_t chunks = cells.ChunkCount();
  std::vector<char*> objects;
  for (int i = 0; i < 2000; ++i) {
    auto* object = static_cast<char*>(cells.TakeObject(kObject));
    ASSERT_NE(object, nullptr);
    ASSERT_TRUE(cells.Allocate(AsNative(object), kInstance) == object + kObject);
    objects.push_back(object);
  }
  size_t neighbours = 0;
  for (size_t i = 1; i < objects.size(); ++i)
    if (objects[i] == objects[i - 1] + Cells::kCellBytes) ++neighbours;
  // Only a new chunk breaks the run.
  EXPECT_GE(neighbours, objects.size() - objects.size() / 300 - 2);
  EXPECT_GT(cells.ChunkCount(), chunks + 4);
  for (char* object : objects) {
    cells.Free(object + kObject, kInstance);
    cells.DropObject(object);
  }
  EXPECT_LE(cells.ChunkCount(), chunks + 1);
}

TEST(KUIDObjectCellsTest, AnObjectThatDoesNotFitIsRefused) {
  EXPECT_EQ(Cells::Get().TakeObject(kObject + 1), nullptr);
}

}  // namespace
