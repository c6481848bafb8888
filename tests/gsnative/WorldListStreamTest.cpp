// World-list streams: round trips, the older versions, records that do not
// fit their entries, and damaged bytes refused with their place.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/stream/TBuffer.h"
#include "gsnative/WorldList.h"
#include "kiv/DynamicBuffer.h"
#include "tests/gsnative/WorldTestItems.h"

namespace {

using worldtest::kTestType;
using worldtest::TestItem;

constexpr uint32_t kEnd = WorldList::kEndOfRecords;
constexpr uint32_t kMarker = TStream::kMarker;

// A stream over a copy of some bytes.
struct Memory {
  explicit Memory(const std::vector<uint8_t>& bytes = {}) {
    data.Write(bytes.data(), uint32_t(bytes.size()));
    data.SetPosition(0);
  }
  std::vector<uint8_t> Bytes() const { return {data.Data(), data.Data() + data.DataLength()}; }
  Kiv::DynamicBuffer data;
  TBuffer stream{&data, false};
};

// Little-endian words and byte strings, appended in order.
struct Bytes {
  std::vector<uint8_t> b;
  template <class... More>
  Bytes& W(uint32_t v, More... more) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    if constexpr (sizeof...(more) > 0) W(more...);
    return *this;
  }
  Bytes& Add(const std::vector<uint8_t>& more) {
    b.insert(b.end(), more.begin(), more.end());
    return *this;
  }
  // A length word, then the bytes.
  Bytes& Body(const std::vector<uint8_t>& body) { return W(uint32_t(body.size())).Add(body); }
  // A chunk: its length, then the bytes.
  Bytes& Chunk(const Bytes& content) { return Body(content.b); }
  uint32_t Size() const { return uint32_t(b.size()); }
};

std::string At(uint32_t n) {
  return std::to_string(n);
}

std::vector<uint8_t> ListBody(const std::string& text, uint32_t flags = 1) {
  TestItem item;
  item.flags = flags;
  item.listBody = text;
  Memory m;
  item.SaveListRecord(m.stream);
  return m.Bytes();
}

std::vector<uint8_t> DataBody(const std::string& text) {
  Memory m;
  worldtest::WriteBytes(m.stream, text);
  return m.Bytes();
}

class WorldListStreamTest : public ::testing::Test {
 protected:
  worldtest::TestFactory tests_{kTestType};
  worldtest::TestFactory objects_{WorldList::kObjectTypeId};
  worldtest::TestFactory blanks_{WorldList::kBlankTypeId};
};

// A list of `n` items with varied indexes, types, KUIDs, bounds and bodies.
void Fill(WorldList& list, int n, bool withData, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int i = 0; i < n; ++i) {
    const bool object = rng() % 4 == 0;
    auto* item = new TestItem(object ? WorldList::kObjectTypeId : kTestType);
    item->flags = 5;
    item->kuid = KUID{int32_t(rng() % 100000), int32_t(rng()), int32_t(rng() % 128)};
    item->lower.tile[0] = int16_t(rng() % 200 - 100);
    item->lower.offset[1] = float(rng() % 2000) - 1000.0f;
    item->upper = item->lower;
    item->upper.offset[0] = float(rng() % 3000);
    if (i == 3) item->upper.tile[1] = 30000;  // a wide item
    item->listBody = std::string(rng() % 40, char('a' + i % 26));
    if (withData) item->dataBody = "data " + std::to_string(i);
    if (object) item->objectBody = std::string(rng() % 3, 'o');
    if (rng() % 5 == 0) {
      list.AddAt(item, 2 * uint32_t(i) + 1) || (delete item, true);
    } else {
      list.Add(item);
    }
  }
}

TEST_F(WorldListStreamTest, WrittenListReadsBackByteIdentical) {
  struct Case {
    uint32_t mask, value;
    bool withData;
  };
  for (const Case c : {Case{0, 0, false}, Case{4, 4, true}}) {
    SCOPED_TRACE(c.mask);
    WorldList original;
    original.SetSaveWord(77);
    Fill(original, 300, c.withData, c.mask + 1);
    Memory first;
    original.SaveItems(first.stream, c.mask, c.value);
    original.SaveObjectChunk(first.stream);
    ASSERT_EQ(first.stream.GetError(), TStream::kErrorNone);

    WorldList copy;
    first.stream.SeekTo(0);
    ASSERT_TRUE(copy.LoadItems(first.stream, true, c.value).Ok());
    ASSERT_TRUE(copy.LoadObjectChunk(first.stream).Ok());
    EXPECT_EQ(first.stream.Tell(), first.data.DataLength());
    EXPECT_EQ(copy.GetSaveWord(), 0u);
    copy.ForEachItem([](uint32_t, WorldListItem* item) {
      EXPECT_EQ(static_cast<TestItem*>(item)->seenSaveWord, 77u);
    });
    EXPECT_EQ(worldtest::Items(copy), worldtest::Items(original));
    EXPECT_EQ(worldtest::Tiles(copy), worldtest::Tiles(original));

    Memory second;
    copy.SetSaveWord(77);
    copy.SaveItems(second.stream, c.mask, c.value);
    copy.SaveObjectChunk(second.stream);
    EXPECT_EQ(second.Bytes(), first.Bytes());
  }
}

TEST_F(WorldListStreamTest, OlderVersionsAreRead) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::vector<worldtest::ItemState> items;
  };
  const KUID k{5, 6, 0};
  const Bytes v3Record = Bytes().W(4, kTestType, 6, 5).Body(ListBody("three"));
  const Case cases[] = {
      {"version 1", Bytes().W(1).b, {}},
      {"version 2",
       Bytes().W(2, 4, kTestType).Add(ListBody("two", 3)).W(kEnd).b,
       {{4, kTestType, 3, kNullKUID, "two", "", ""}}},
      {"version 3",
       Bytes().W(3).Add(v3Record.b).W(kEnd).b,
       {{4, kTestType, 1, k, "three", "", ""}}},
      {"item data of version 0 has no type ids",
       Bytes()
           .W(4, 0, WorldList::kBlankTypeId, 0, 0)
           .Body(ListBody(""))
           .W(kEnd)
           .Chunk(Bytes().W(0).Body(DataBody("zero")).W(kEnd))
           .b,
       {{0, WorldList::kBlankTypeId, 1, KUID{0, 0, 0}, "", "zero", ""}}},
      {"item data of version 1 has no save word",
       Bytes()
           .W(4)
           .Add(v3Record.b)
           .W(kEnd)
           .Chunk(Bytes().W(kMarker, 1, 4, kTestType).Body(DataBody("one")).W(kEnd))
           .b,
       {{4, kTestType, 1, k, "three", "one", ""}}},
      {"item data of version 6 is skipped",
       Bytes().W(4).Add(v3Record.b).W(kEnd).Chunk(Bytes().W(kMarker, 6, 4, kTestType, 0, kEnd)).b,
       {{4, kTestType, 1, k, "three", "", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Memory m(c.bytes);
    WorldList list;
    const WorldStreamResult r = list.LoadItems(m.stream, true, 4);
    EXPECT_TRUE(r.Ok()) << r.error;
    EXPECT_EQ(m.stream.Tell(), uint32_t(c.bytes.size()));
    EXPECT_EQ(worldtest::Items(list), c.items);
  }
}

TEST_F(WorldListStreamTest, RecordOfAnotherTypeReplacesOrIsSkipped) {
  WorldList list;
  auto* present = new TestItem;
  present->dataBody = "kept";
  list.AddAt(present, 0);
  list.AddAt(new TestItem, 2);
  // Index 0 keeps its type; index 2 turns into an object item; the
  // item-data record of index 0 names another type and is skipped.
  const Bytes bytes =
      Bytes()
          .W(4, 0, kTestType, 0, 0)
          .Body(ListBody("same"))
          .W(2, WorldList::kObjectTypeId, 0, 0)
          .Body(ListBody("new"))
          .W(kEnd)
          .Chunk(Bytes().W(kMarker, 5, 0, 0, WorldList::kObjectTypeId).Body(DataBody("x")).W(kEnd));
  Memory m(bytes.b);
  ASSERT_TRUE(list.LoadItems(m.stream, false, 4).Ok());
  EXPECT_EQ(list.GetItem(0), present);
  EXPECT_EQ(present->listBody, "same");
  EXPECT_EQ(present->dataBody, "kept");
  ASSERT_NE(list.GetItem(2), nullptr);
  EXPECT_EQ(list.GetItem(2)->GetTypeId(), WorldList::kObjectTypeId);

  // A type no factory makes: the entry's item goes and nothing replaces it.
  Memory unknown(Bytes().W(3, 0, 0x3F3F3F3F, 0, 0, 0, kEnd).b);
  ASSERT_TRUE(list.LoadItems(unknown.stream, false, 0).Ok());
  EXPECT_EQ(list.GetItem(0), nullptr);
}

TEST_F(WorldListStreamTest, DamagedBytesAreRefusedWithTheirPlace) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string error;
    uint32_t position;  // where the stream stands afterwards
    size_t itemsKept;
  };
  const std::vector<uint8_t> record = Bytes().W(0, kTestType, 0, 0).Body(ListBody("a")).b;
  const uint32_t r = uint32_t(record.size());  // 20 + 32
  const Case cases[] = {
      {"empty stream",
       {},
       "item list: version at byte 0 (4 bytes) runs past the end at byte 0",
       0,
       0},
      {"unknown version", Bytes().W(9).b, "item list: version at byte 0 is 9, not 1 to 5", 4, 0},
      {"index beyond the limit", Bytes().W(3, WorldList::kMaxSlots, kTestType).b,
       "item list: record index at byte 4 is 4194304, beyond the limit of 4194303", 12, 0},
      {"body over the limit", Bytes().W(3, 0, kTestType, 0, 0, 0x1000000).b,
       "item list: record body length at byte 20 is 16777216, over the limit of 16777215", 24, 0},
      {"unpatched body length", Bytes().W(3, 0, kTestType, 0, 0, kMarker).b,
       "item list: record body length at byte 20 was never written", 24, 0},
      {"body past the end", Bytes().W(3, 0, kTestType, 0, 0, 100, 1).b,
       "item list: record body at byte 24 (100 bytes) runs past the end at byte 28", 24, 0},
      {"no end word", Bytes().W(3).Add(record).b,
       "item list: record index at byte " + At(4 + r) + " (4 bytes) runs past the end at byte " +
           At(4 + r),
       4 + r, 1},
      {"item-data chunk past the end", Bytes().W(4).Add(record).W(kEnd, 50).b,
       "item-data chunk: chunk at byte " + At(12 + r) + " (50 bytes) runs past the end at byte " +
           At(12 + r),
       12 + r, 1},
      {"item-data body past its chunk",
       Bytes().W(4).Add(record).W(kEnd, 28, kMarker, 5, 0, 0, kTestType, 100, kEnd).b,
       "item-data chunk: record body at byte " + At(36 + r) +
           " (100 bytes) runs past the end at byte " + At(40 + r),
       40 + r, 1},
      {"unpatched chunk length", Bytes().W(4, kEnd, kMarker, 0).b,
       "item-data chunk: chunk length at byte 8 was never written", 16, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Memory m(c.bytes);
    WorldList list;
    const WorldStreamResult result = list.LoadItems(m.stream, true, 4);
    EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    EXPECT_EQ(m.stream.Tell(), c.position);
    EXPECT_EQ(worldtest::Items(list).size(), c.itemsKept);
  }
}

TEST_F(WorldListStreamTest, ObjectChunkReadsOnlyObjectItems) {
  WorldList list;
  list.AddAt(new TestItem(WorldList::kObjectTypeId), 0);
  list.AddAt(new TestItem, 1);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* error;
    const char* body0;
  };
  const std::vector<uint8_t> body = DataBody("obj");
  const Case cases[] = {
      {"records", Bytes().Chunk(Bytes().W(kMarker, 1, 1).Body(body).W(0).Body(body).W(kEnd)).b, "",
       "obj"},
      {"no marker skips", Bytes().Chunk(Bytes().W(1, 0).Body(body)).b, "", ""},
      {"version 2 skips", Bytes().Chunk(Bytes().W(kMarker, 2, 0).Body(body)).b, "", ""},
      {"cut short", Bytes().W(20, kMarker, 1, 0).b,
       "object chunk: chunk at byte 4 (20 bytes) runs past the end at byte 16", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    static_cast<TestItem*>(list.GetItem(0))->objectBody.clear();
    Memory m(c.bytes);
    const WorldStreamResult result = list.LoadObjectChunk(m.stream);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(m.stream.Tell(), uint32_t(c.bytes.size()));
    EXPECT_EQ(static_cast<TestItem*>(list.GetItem(0))->objectBody, c.body0);
    EXPECT_EQ(static_cast<TestItem*>(list.GetItem(1))->objectBody, "");
  }
}

}  // namespace
