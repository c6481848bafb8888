#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TDBBinaryFile.h"
#include "foundation/soup/TDBBinarySoup.h"
#include "foundation/soup/TDBContainerTag.h"
#include "foundation/soup/TDBDataChunk.h"
#include "foundation/soup/TDBDataTag.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

namespace {

using Bytes = std::vector<uint8_t>;

Kiv::PString P(const char* text) {
  return Kiv::PString(text);
}

Bytes WriteSoup(const ACSChunk* root, bool* whole = nullptr) {
  TBuffer stream;
  const bool ok = BinarySoup::Write(stream, root);
  if (whole != nullptr) *whole = ok;
  const Kiv::DynamicBuffer* data = stream.GetData();
  return Bytes(data->Data(), data->Data() + data->DataLength());
}

Bytes WriteSoup(const Soup& soup) {
  return WriteSoup(soup.GetChunk());
}

bool ReadSoup(const Bytes& bytes, Soup& soup, BinarySoupError* error = nullptr) {
  Kiv::DynamicBuffer data;
  if (!bytes.empty()) data.Write(bytes.data(), uint32_t(bytes.size()));
  data.SetPosition(0);
  TBuffer stream(&data, false);
  return BinarySoup::Read(stream, soup, error);
}

// A file around a record block.
Bytes File(const Bytes& block, uint32_t version = 1) {
  Bytes out = {'A', 'C', 'S', '$'};
  for (uint32_t v : {version, 0u, uint32_t(block.size())})
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
  out.insert(out.end(), block.begin(), block.end());
  return out;
}

// One record: size word, name length, name and NUL, type, payload.
Bytes Rec(const std::string& name, uint8_t type, const Bytes& payload) {
  const uint32_t nameBytes = name.empty() ? 0 : uint32_t(name.size() + 1);
  const uint32_t size = 1 + nameBytes + 1 + uint32_t(payload.size());
  Bytes out;
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(size >> (8 * i)));
  out.push_back(uint8_t(nameBytes));
  out.insert(out.end(), name.begin(), name.end());
  if (nameBytes != 0) out.push_back(0);
  out.push_back(type);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The type a value comes back as after a write and a read.
uint32_t StoredType(uint32_t type) {
  return type == SoupType::kText2 ? SoupType::kString : type;
}

// Compares two trees: types, value bytes, and children in order with names.
void ExpectSameTree(const ACSChunk* a, const ACSChunk* b, const std::string& path = "/") {
  const uint32_t ta = IsNullChunk(a) ? 0 : StoredType(a->GetType());
  const uint32_t tb = IsNullChunk(b) ? 0 : StoredType(b->GetType());
  ASSERT_EQ(ta, tb) << path;
  if (ta == 0) return;
  if (ta != SoupType::kContainer) {
    ASSERT_EQ(a->GetDataSize(), b->GetDataSize()) << path;
    if (a->GetDataSize() != 0) {
      ASSERT_EQ(std::memcmp(a->GetData(), b->GetData(), a->GetDataSize()), 0) << path;
    }
  }
  ASSERT_EQ(a->CountChildren(), b->CountChildren()) << path;
  for (uint32_t i = 0; i < a->CountChildren(); ++i) {
    Kiv::PString na, nb;
    ChunkRef ca, cb;
    ASSERT_TRUE(a->GetChildAt(i, na, ca));
    ASSERT_TRUE(b->GetChildAt(i, nb, cb));
    ASSERT_EQ(na, nb) << path << i;
    ExpectSameTree(ca.get(), cb.get(), path + na.Str() + "/");
  }
}

// Random trees with every value type, duplicate and empty names.
class RandomSoup {
 public:
  explicit RandomSoup(uint32_t seed) : rng_(seed) {}

  ChunkRef Make(int depth = 0) {
    ChunkRef root = TDBContainerTag::Create();
    const int children = int(rng_() % (depth == 0 ? 12 : 6));
    for (int i = 0; i < children; ++i) root->SetChild(Name(), Value(depth));
    return root;
  }

 private:
  Kiv::PString Name() {
    static const char* const kNames[] = {"", "a", "b", "name", "Name", "x1", "long-tag-name"};
    if (rng_() % 3 == 0) return Kiv::PString(kNames[rng_() % 7]);
    std::string s(1 + rng_() % 12, 'a');
    for (char& c : s) c = char('a' + rng_() % 26);
    return Kiv::PString(s);
  }

  Bytes RandomBytes(uint32_t n) {
    Bytes b(n);
    for (uint8_t& x : b) x = uint8_t(rng_());
    return b;
  }

  ChunkRef Data(uint32_t type, const Bytes& b) {
    return TDBDataTag::Create(type, ACSRawDataCore::CreateCopy(b.data(), uint32_t(b.size())));
  }

  ChunkRef Value(int depth) {
    switch (rng_() % 9) {
      case 0:
        return depth < 4 ? Make(depth + 1) : Data(SoupType::kNull, {});
      case 1:
        return Data(SoupType::kRaw, RandomBytes(rng_() % 40));
      case 2:
        return Data(SoupType::kFloat, RandomBytes(4 * (1 + rng_() % 5)));
      case 3:
      case 4: {
        if (rng_() % 4 == 0) return Data(SoupType::kString, {});
        std::string s(rng_() % 20, 'q');
        for (char& c : s) c = char(' ' + rng_() % 95);
        Bytes b(s.begin(), s.end());
        b.push_back(0);
        return Data(rng_() % 5 == 0 ? SoupType::kText2 : SoupType::kString, b);
      }
      case 5:
        return Data(SoupType::kInt, RandomBytes(4 * (1 + rng_() % 5)));
      case 6:
        return Data(SoupType::kKUID, RandomBytes(8));
      case 7:
        return Data(SoupType::kNull, {});
      default:
        return Data(SoupType::kInt, RandomBytes(4));
    }
  }

  std::mt19937 rng_;
};

// Touches every value byte and child of a tree; answers the number of nodes.
uint32_t Walk(const ACSChunk* chunk) {
  uint32_t nodes = 1;
  volatile uint8_t sink = 0;
  for (uint32_t i = 0; i < chunk->GetDataSize(); ++i) sink = sink ^ chunk->GetData()[i];
  for (uint32_t i = 0; i < chunk->CountChildren(); ++i) {
    Kiv::PString name;
    ChunkRef child;
    if (chunk->GetChildAt(i, name, child)) nodes += Walk(child.get());
  }
  return nodes;
}

const Bytes kIntA = Rec("a", 1, {5, 0, 0, 0});

TEST(BinarySoup, WritesTheDocumentedBytes) {
  EXPECT_EQ(WriteSoup(Soup()), (Bytes{'A', 'C', 'S', '$', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  Soup empty;
  empty.Create();
  EXPECT_EQ(WriteSoup(empty).size(), 16u);

  Soup soup;
  soup.SetNamedInt(P("a"), 5);
  const Bytes bytes = WriteSoup(soup);
  EXPECT_EQ(bytes, File({8, 0, 0, 0, 2, 'a', 0, 1, 5, 0, 0, 0}));
  EXPECT_EQ(bytes[12], 12);
}

TEST(BinarySoup, EmptyBlockLoadsAsAnEmptySoupAndSucceeds) {
  Soup soup;
  soup.SetNamedInt(P("old"), 1);
  BinarySoupError error = BinarySoupError::kDamagedBlock;
  EXPECT_TRUE(ReadSoup(File({}), soup, &error));
  EXPECT_EQ(error, BinarySoupError::kNone);
  EXPECT_TRUE(soup.Empty());
  // Fewer than 6 bytes end a list: a valid, empty root.
  EXPECT_TRUE(ReadSoup(File({1, 2, 3}), soup));
  EXPECT_EQ(soup.CountTags(), 0u);
}

TEST(BinarySoup, RandomSoupsSurviveARoundTripByteForByte) {
  for (uint32_t seed = 1; seed <= 1000; ++seed) {
    RandomSoup maker(seed);
    ChunkRef tree = maker.Make();
    bool whole = false;
    const Bytes first = WriteSoup(tree.get(), &whole);
    ASSERT_TRUE(whole) << seed;
    Soup loaded;
    ASSERT_TRUE(ReadSoup(first, loaded)) << seed;
    if (tree->CountChildren() == 0) {
      EXPECT_TRUE(loaded.Empty());
      continue;
    }
    ExpectSameTree(tree.get(), loaded.GetChunk());
    ASSERT_EQ(WriteSoup(loaded), first) << seed;
    // A deep copy into editable tags reads the same.
    Soup copy;
    Soup::Copy(copy, loaded);
    ExpectSameTree(tree.get(), copy.GetChunk());
  }
}

TEST(BinarySoup, ViewsAnswerLookupsInPlace) {
  const Bytes block = Cat(
      {kIntA, Rec("Dup", 3, {'o', 'n', 'e', 0}), Rec("", 4, {9}), Rec("Dup", 3, {'t', 'w', 'o', 0}),
       Rec("sub", 0,
           Cat({Rec("k", 13, {1, 2, 3, 4, 5, 6, 7, 8}), Rec("f", 2, {0, 0, 0x80, 0x3f})})),
       Rec("n", 5, {}), Rec("odd", 7, {1, 2}), Rec("big", 200, {})});
  Soup soup;
  ASSERT_TRUE(ReadSoup(File(block), soup));
  EXPECT_EQ(soup.CountTags(), 8u);
  EXPECT_EQ(soup.GetNamedTagAsInt(P("a"), 0), 5);
  EXPECT_EQ(soup.GetNamedTag(P("Dup")).Str(), "one");
  EXPECT_FALSE(soup.HasNamedTag(P("dup")));  // names match byte for byte
  EXPECT_EQ(soup.GetIndexedTagName(3).Str(), "Dup");
  EXPECT_EQ(soup.GetIndexedTagName(2).Str(), "");
  EXPECT_EQ(soup.GetIndexedTagName(8).Str(), "");
  EXPECT_EQ(soup.GetNamedTagType(P("n")), SoupType::kNull);
  EXPECT_EQ(soup.GetNamedTagType(P("odd")), SoupType::kNull);  // unknown codes are null
  EXPECT_EQ(soup.GetNamedTagType(P("big")), SoupType::kNull);

  Soup sub = soup.GetNamedSoup(P("sub"));
  ASSERT_FALSE(sub.IsNull());
  EXPECT_EQ(sub.GetNamedTagAsFloat(P("f"), 0.f), 1.f);
  const KUID k = sub.GetNamedTagAsKUID(P("k"), KUID());
  EXPECT_EQ(k.contentId, 0x08070605);

  // Unaligned numbers are copied so that they read in place; text is not.
  ChunkRef f = sub.GetChunk()->GetChild(P("f"));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(f->GetData()) % 4, 0u);
  ChunkRef two = soup.GetChunk()->GetChild(P("a"));
  ChunkRef again = soup.GetChunk()->GetChild(P("a"));
  EXPECT_NE(two.get(), again.get());
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(two->GetData()), 5);
}

TEST(BinarySoup, AlignedRawPayloadDropsItsPadding) {
  // Record at block offset 0 with name "r": payload at offset 8, padded to 16.
  Bytes payload(8, 0xEE);
  payload.insert(payload.end(), {1, 2, 3});
  Soup soup;
  ASSERT_TRUE(ReadSoup(File(Rec("r", 12, payload)), soup));
  ChunkRef r = soup.GetChunk()->GetChild(P("r"));
  EXPECT_EQ(r->GetType(), SoupType::kRaw);
  ASSERT_EQ(r->GetDataSize(), 3u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(r->GetData()) % 16, 0u);
  EXPECT_EQ(r->GetData()[0], 1);

  BinarySoupError error{};
  EXPECT_FALSE(ReadSoup(File(Rec("r", 12, Bytes(7, 0))), soup, &error));
  EXPECT_EQ(error, BinarySoupError::kDamagedBlock);
}

TEST(BinarySoup, OldFilesConvertTheirTextFromTheAnsiCodePage) {
  const Bytes block = Rec("t", 3, {0xE9, 0});
  Soup v0, v1;
  ASSERT_TRUE(ReadSoup(File(block, 0), v0));
  ASSERT_TRUE(ReadSoup(File(block, 1), v1));
  EXPECT_EQ(v0.GetNamedTag(P("t")).Str(), "\xC3\xA9");
  EXPECT_EQ(v1.GetNamedTag(P("t")).Str(), "\xE9");

  // The converted copy still stands for its record: replacing it works.
  v0.SetNamedTag(P("t"), std::string_view("new"));
  EXPECT_EQ(v0.CountTags(), 1u);
  EXPECT_EQ(v0.GetNamedTag(P("t")).Str(), "new");
  v0.RemoveNamedTag(P("t"));
  EXPECT_FALSE(v0.HasNamedTag(P("t")));
}

TEST(BinarySoup, EditingAViewKeepsTheBlockAndAddsEditableTags) {
  const Bytes block =
      Cat({kIntA, Rec("b", 1, {2, 0, 0, 0}), Rec("c", 0, Rec("x", 1, {7, 0, 0, 0}))});
  Kiv::DynamicBuffer data;
  const Bytes bytes = File(block);
  data.Write(bytes.data(), uint32_t(bytes.size()));
  data.SetPosition(0);
  TBuffer stream(&data, false);
  MPRef<TDBBinaryFile> file = TDBBinaryFile::Create();
  ASSERT_TRUE(file->Read(stream));
  Soup soup(file->GetRoot());

  soup.SetNamedInt(P("a"), 9);  // a, b, c becomes b, c, a
  EXPECT_EQ(soup.CountTags(), 3u);
  EXPECT_EQ(soup.GetIndexedTagName(0).Str(), "b");
  EXPECT_EQ(soup.GetIndexedTagName(2).Str(), "a");
  EXPECT_EQ(soup.GetNamedTagAsInt(P("a"), 0), 9);
  ChunkRef added = soup.GetChunk()->GetChild(P("a"));
  EXPECT_NE(dynamic_cast<TDBDataTag*>(added.get()), nullptr);
  EXPECT_EQ(std::memcmp(file->GetBlock(), block.data(), block.size()), 0);

  // Edits through one view of a list show in every other view of it.
  Soup c1 = soup.GetNamedSoup(P("c"));
  Soup c2 = soup.GetNamedSoup(P("c"));
  EXPECT_EQ(c2.CountTags(), 1u);
  c1.SetNamedTag(P("y"), std::string_view("why"));
  c1.RemoveNamedTag(P("x"));
  EXPECT_EQ(c2.CountTags(), 1u);
  EXPECT_EQ(c2.GetIndexedTagName(0).Str(), "y");
  EXPECT_FALSE(c2.HasNamedTag(P("x")));

  // A sub-soup of this very file moved to another place of it.
  soup.RemoveNamedTag(P("c"));
  Soup moved = c1;
  soup.SetNamedSoup(P("moved"), moved);
  soup.SetNamedSoup(P("moved"), moved);  // replaces: still one
  EXPECT_EQ(soup.CountTags(), 3u);
  EXPECT_EQ(soup.GetNamedSoup(P("moved")).GetNamedTag(P("y")).Str(), "why");

  Soup expected;
  expected.SetNamedInt(P("b"), 2);
  expected.SetNamedInt(P("a"), 9);
  Soup sub;
  sub.SetNamedTag(P("y"), std::string_view("why"));
  expected.SetNamedSoup(P("moved"), sub);
  EXPECT_EQ(WriteSoup(soup), WriteSoup(expected));
  // No view or chunk keeps the file alive once the handles are gone.
  soup.Release();
  c1.Release();
  c2.Release();
  moved.Release();
  added.Reset();
  EXPECT_EQ(file->RefCount(), 1);
  // Nor can it be read again under live views.
  Soup root(file->GetRoot());
  data.SetPosition(0);
  TBuffer again(&data, false);
  EXPECT_FALSE(file->Read(again));
  EXPECT_EQ(file->GetError(), BinarySoupError::kInUse);
}

TEST(BinarySoup, RemovedRecordsDisappearFromEveryLookup) {
  Soup soup;
  ASSERT_TRUE(ReadSoup(
      File(Cat({kIntA, Rec("b", 4, {1}), Rec("a", 1, {6, 0, 0, 0}), Rec("c", 4, {2})})), soup));
  ACSChunk* root = soup.GetChunk();
  EXPECT_EQ(soup.GetIndexedTagName(2).Str(), "a");  // leaves the walk's cursor behind "b"
  ChunkRef b = root->GetChild(P("b"));
  root->RemoveChild(b.get());
  root->RemoveChild(b.get());  // twice: counted once
  root->RemoveChild(NullTagPointer());
  EXPECT_EQ(soup.CountTags(), 3u);
  EXPECT_FALSE(soup.HasNamedTag(P("b")));
  EXPECT_EQ(soup.GetIndexedTagName(2).Str(), "c");
  EXPECT_EQ(soup.GetIndexedTagName(1).Str(), "a");
  soup.RemoveNamedTag(P("a"));  // the first of two goes
  EXPECT_EQ(soup.GetNamedTagAsInt(P("a"), 0), 6);
  // A chunk of another list is ignored.
  Soup other;
  ASSERT_TRUE(ReadSoup(File(kIntA), other));
  ChunkRef foreign = other.GetChunk()->GetChild(P("a"));
  root->RemoveChild(foreign.get());
  EXPECT_EQ(soup.CountTags(), 2u);
}

TEST(BinarySoup, RefusesDamagedHeaders) {
  struct Case {
    Bytes bytes;
    BinarySoupError error;
  };
  Bytes negative = File(kIntA);
  negative[15] = 0x80;
  Bytes longer = File(kIntA);
  longer[12] = 13;
  Bytes shortHeader = File({});
  shortHeader.pop_back();
  const Case cases[] = {
      {Bytes{'A', 'C', 'S', '#', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, BinarySoupError::kBadMagic},
      {File(kIntA, 2), BinarySoupError::kBadVersion},
      {File({}, 0xFFFFFFFF), BinarySoupError::kBadVersion},
      {shortHeader, BinarySoupError::kShortHeader},
      {negative, BinarySoupError::kBadBlockSize},
      {longer, BinarySoupError::kBadBlockSize},
  };
  for (const Case& c : cases) {
    Soup soup;
    soup.SetNamedInt(P("old"), 1);
    BinarySoupError error{};
    EXPECT_FALSE(ReadSoup(c.bytes, soup, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(soup.Empty());
  }
}

TEST(BinarySoup, RefusesRecordsThatDoNotFitTheirList) {
  Bytes tooLong = kIntA;
  tooLong[0] = 9;
  Bytes tooShort = kIntA;  // size 2 with a name of 2 bytes: no type byte
  tooShort[0] = 2;
  Bytes noTypeByte = kIntA;  // size 3: the name's 2 bytes and its length byte
  noTypeByte[0] = 3;
  Bytes unterminated = kIntA;
  unterminated[6] = 'b';
  Bytes innerNul = Rec("ab", 1, {5, 0, 0, 0});
  innerNul[5] = 0;
  const Bytes nestedTooLong = Rec("s", 0, tooLong);
  for (const Bytes& block :
       {tooLong, tooShort, noTypeByte, unterminated, innerNul, nestedTooLong}) {
    Soup soup;
    BinarySoupError error{};
    EXPECT_FALSE(ReadSoup(File(block), soup, &error));
    EXPECT_EQ(error, BinarySoupError::kDamagedBlock);
    EXPECT_TRUE(soup.Empty());
  }
}

// Names of every length up to past 16 bytes, with room after them in their
// list or without, are refused for a missing final NUL or a NUL inside, with
// the fault at the record, and accepted when whole.
TEST(BinarySoup, NameChecksFindEveryMisplacedNul) {
  enum class Damage { kNone, kNoFinalNul, kNulInside };
  struct Case {
    Damage damage;
    const char* detail;
  };
  const Case cases[] = {{Damage::kNone, ""},
                        {Damage::kNoFinalNul, "does not end with a NUL"},
                        {Damage::kNulInside, "holds a NUL"}};
  const Bytes first = Rec("first", 1, {1, 0, 0, 0});
  const Bytes filler = Rec("filler", 4, Bytes(40, 'x'));
  for (const size_t length : {1u, 2u, 7u, 8u, 9u, 14u, 15u, 16u, 17u, 40u}) {
    for (const bool roomAfter : {false, true}) {
      for (const Case& c : cases) {
        for (size_t at = 0; at + 1 < std::max<size_t>(length, 2); ++at) {
          Bytes tested = Rec(std::string(length, 'n'), 1, {2, 0, 0, 0});
          const size_t nul = 5 + length;  // the name's final NUL
          if (c.damage == Damage::kNoFinalNul) tested[nul] = 'z';
          if (c.damage == Damage::kNulInside) tested[5 + at] = 0;
          const Bytes block = roomAfter ? Cat({first, tested, filler}) : Cat({first, tested});
          Soup soup;
          BinarySoupError error{};
          std::string fault;
          Kiv::DynamicBuffer data;
          const Bytes file = File(block);
          data.Write(file.data(), uint32_t(file.size()));
          data.SetPosition(0);
          TBuffer stream(&data, false);
          const bool read = BinarySoup::Read(stream, soup, &error, &fault);
          const std::string label = "length " + std::to_string(length) + " nul at " +
                                    std::to_string(at) + (roomAfter ? " with room" : "");
          if (c.damage == Damage::kNone) {
            EXPECT_TRUE(read) << label << ": " << fault;
            EXPECT_EQ(soup.GetNamedTagAsInt(Kiv::PString(std::string(length, 'n')), 0), 2) << label;
            break;
          }
          EXPECT_FALSE(read) << label;
          EXPECT_EQ(error, BinarySoupError::kDamagedBlock) << label;
          const std::string where = "byte " + std::to_string(16 + first.size()) + ":";
          EXPECT_EQ(fault.rfind(where, 0), 0u) << label << ": " << fault;
          EXPECT_NE(fault.find(c.detail), std::string::npos) << label << ": " << fault;
          if (c.damage == Damage::kNoFinalNul) break;
        }
      }
    }
  }
}

TEST(BinarySoup, BoundsTheNestingOnReadAndWrite) {
  // `levels` lists named "s", each the only record of the one around it.
  auto nest = [](uint32_t levels) {
    Bytes block;
    for (uint32_t i = 0; i < levels; ++i) {
      const uint32_t size = 4 + 8 * (levels - 1 - i);
      block.insert(block.end(), {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16),
                                 uint8_t(size >> 24), 2, 's', 0, 0});
    }
    return File(block);
  };
  Soup soup;
  ASSERT_TRUE(ReadSoup(nest(BinarySoup::kMaxDepth), soup));
  EXPECT_EQ(Walk(soup.GetChunk()), BinarySoup::kMaxDepth + 1);
  BinarySoupError error{};
  EXPECT_FALSE(ReadSoup(nest(BinarySoup::kMaxDepth + 1), soup, &error));
  EXPECT_EQ(error, BinarySoupError::kDamagedBlock);
  EXPECT_FALSE(ReadSoup(nest(100000), soup));

  // The writer leaves out what the reader would refuse, and says so.
  ChunkRef root = TDBContainerTag::Create();
  ChunkRef deepest = root;
  for (uint32_t i = 0; i <= BinarySoup::kMaxDepth; ++i) {
    ChunkRef next = TDBContainerTag::Create();
    deepest->SetChild(P("s"), next);
    deepest = next;
  }
  bool whole = true;
  const Bytes written = WriteSoup(root.get(), &whole);
  EXPECT_FALSE(whole);
  EXPECT_EQ(written, nest(BinarySoup::kMaxDepth));
}

TEST(BinarySoup, LongNamesAreLeftOutAndReported) {
  Soup soup;
  soup.SetNamedInt(P("a"), 5);
  soup.SetNamedInt(Kiv::PString(std::string(300, 'n')), 1);
  soup.SetNamedInt(Kiv::PString(std::string(254, 'm')), 2);
  bool whole = true;
  const Bytes bytes = WriteSoup(soup.GetChunk(), &whole);
  EXPECT_FALSE(whole);
  Soup loaded;
  ASSERT_TRUE(ReadSoup(bytes, loaded));
  EXPECT_EQ(loaded.CountTags(), 2u);
  EXPECT_EQ(loaded.GetNamedTagAsInt(Kiv::PString(std::string(254, 'm')), 0), 2);
}

TEST(BinarySoup, FindUnstorableTagNamesThePathOfWhatTheWriterLeavesOut) {
  const Kiv::PString longName(std::string(300, 'n'));
  Soup fits;
  fits.SetNamedInt(Kiv::PString(std::string(254, 'm')), 2);
  EXPECT_EQ(BinarySoup::FindUnstorableTag(fits), "");
  EXPECT_EQ(BinarySoup::FindUnstorableTag(Soup()), "");

  Soup inner;
  inner.SetNamedInt(P("ok"), 1);
  inner.SetNamedInt(longName, 1);
  Soup soup;
  soup.SetNamedInt(P("a"), 5);
  soup.SetNamedSoup(P("outer"), inner);
  EXPECT_EQ(BinarySoup::FindUnstorableTag(soup),
            "the tag \"outer/" + std::string(40, 'n') +
                "...\" cannot be stored: its name has 300 characters, at most 254 fit");
}

// The structural check record by record, through ParseRecord alone: what
// the whole-block check must answer, fault and offset included.
bool CheckListByRecords(const uint8_t* block, uint32_t at, uint32_t end, uint32_t depth,
                        std::string& problem, uint32_t& offset) {
  for (;;) {
    BinarySoup::Record r;
    const char* what = "";
    const BinarySoup::Parse parsed = BinarySoup::ParseRecord(block, at, end, r, &what);
    if (parsed == BinarySoup::Parse::kEnd) return true;
    if (parsed == BinarySoup::Parse::kDamaged ||
        (r.fileType == 0 && depth >= BinarySoup::kMaxDepth)) {
      problem =
          parsed == BinarySoup::Parse::kDamaged ? what : "nested lists go deeper than the limit";
      offset = at;
      return false;
    }
    if (r.fileType == 0 && !CheckListByRecords(block, r.payload, r.payload + r.payloadLength,
                                               depth + 1, problem, offset))
      return false;
    at = r.next;
  }
}

// Checks ValidateRecords on a 16-byte aligned copy of `bytes` against
// CheckListByRecords, and hands out what the latter decided.
void ExpectJudgedRecordByRecord(const uint8_t* bytes, uint32_t size, int round, bool& want,
                                std::string& wantProblem, uint32_t& wantOffset) {
  // The reader's block is 16-byte aligned; so is this copy.
  std::vector<uint64_t> aligned((size + 15) / 8 * 2 + 2);
  auto* block = reinterpret_cast<uint8_t*>(aligned.data());
  block += (16 - reinterpret_cast<uintptr_t>(block) % 16) % 16;
  std::memcpy(block, bytes, size);
  want = CheckListByRecords(block, 0, size, 0, wantProblem, wantOffset);

  const char* problem = "";
  uint32_t offset = 0;
  ASSERT_EQ(BinarySoup::ValidateRecords(block, size, &problem, &offset), want) << round;
  if (want) return;
  EXPECT_EQ(std::string(problem), wantProblem) << round;
  EXPECT_EQ(offset, wantOffset) << round;
}

// Blocks with a few bytes changed (sizes, name lengths, name bytes, type
// bytes, anywhere) are accepted or refused exactly as a walk of ParseRecord
// over their records decides, with the same reason at the same byte.
TEST(BinarySoup, DamagedBlocksAreJudgedRecordByRecord) {
  RandomSoup maker(2024);
  std::mt19937 rng(99);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    ChunkRef tree = maker.Make();
    Bytes file = WriteSoup(tree.get());
    if (file.size() <= 16) continue;
    for (uint32_t n = 1 + rng() % 3; n > 0; --n) {
      const size_t at = 16 + rng() % (file.size() - 16);
      const uint8_t values[] = {0, 1, 12, 16, 17, uint8_t(rng()), uint8_t(file[at] + 1)};
      file[at] = values[rng() % 7];
      // A long name length before a run without NULs.
      if (rng() % 4 != 0) continue;
      file[at] = uint8_t(15 + rng() % 4);
      for (size_t i = at + 1; i < file.size() && i <= at + 17; ++i) file[i] = 'x';
    }
    std::string wantProblem;
    uint32_t wantOffset = 0;
    bool want = false;
    ASSERT_NO_FATAL_FAILURE(
        ExpectJudgedRecordByRecord(file.data() + 16, uint32_t(file.size() - 16), round, want,
                                   wantProblem, wantOffset));
    if (want) continue;
    ++refused;
    Soup soup;
    std::string fault;
    Kiv::DynamicBuffer data;
    data.Write(file.data(), uint32_t(file.size()));
    data.SetPosition(0);
    TBuffer stream(&data, false);
    EXPECT_FALSE(BinarySoup::Read(stream, soup, nullptr, &fault));
    EXPECT_EQ(fault, "byte " + std::to_string(16 + wantOffset) + ": damaged record block (" +
                         wantProblem + ")");
  }
  EXPECT_GT(refused, 500);
}

// Large blocks (walked from their start and from a guess in their middle at
// once) are judged as the record-by-record walk judges them: whole ones,
// ones whose middle lies inside a nested list, and ones damaged before,
// around and after the middle.
TEST(BinarySoup, LargeBlocksAreJudgedRecordByRecord) {
  RandomSoup maker(7);
  std::mt19937 rng(5);
  int accepted = 0;
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    Bytes block;
    const uint32_t target = 9000 + rng() % 30000;
    while (block.size() < target) {
      ChunkRef tree = maker.Make();
      const Bytes file = WriteSoup(tree.get());
      block.insert(block.end(), file.begin() + 16, file.end());
    }
    if (round % 3 == 1) {
      // The middle inside one large nested list, itself in a nested list.
      const size_t from = rng() % (block.size() / 4);
      const size_t to = block.size() - rng() % (block.size() / 4);
      const Bytes inner(block.begin() + ptrdiff_t(from), block.begin() + ptrdiff_t(to));
      const Bytes wrapped = Rec("outer", 0, Rec(round % 2 == 0 ? "inner" : "", 0, inner));
      block.erase(block.begin() + ptrdiff_t(from), block.begin() + ptrdiff_t(to));
      block.insert(block.begin() + ptrdiff_t(from), wrapped.begin(), wrapped.end());
    }
    const size_t middle = block.size() / 2;
    for (uint32_t n = rng() % 3; n > 0; --n) {
      size_t at = 0;
      switch (rng() % 3) {
        case 0:
          at = rng() % block.size();
          break;
        case 1:
          at = middle - 600 + rng() % 1200;
          break;
        default:
          at = middle + rng() % (block.size() - middle);
          break;
      }
      const uint8_t values[] = {0, 1, 12, 17, uint8_t(rng()), uint8_t(block[at] + 1)};
      block[at] = values[rng() % 6];
    }
    bool want = false;
    std::string wantProblem;
    uint32_t wantOffset = 0;
    ASSERT_NO_FATAL_FAILURE(ExpectJudgedRecordByRecord(block.data(), uint32_t(block.size()),
                                                       round, want, wantProblem, wantOffset));
    ++(want ? accepted : refused);
  }
  EXPECT_GT(accepted, 100);
  EXPECT_GT(refused, 100);
}

Bytes Repeat(const Bytes& record, size_t times) {
  Bytes out;
  for (size_t i = 0; i < times; ++i) out.insert(out.end(), record.begin(), record.end());
  return out;
}

// Blocks whose middle deceives a walk that starts there: records hidden in
// a raw payload (the last of them damaged), and a first half of few large
// records before a second half of many small ones (the last damaged, or
// not). Each is judged as the record-by-record walk judges it.
TEST(BinarySoup, DeceivingMiddlesAreJudgedRecordByRecord) {
  const Bytes small = Rec("p", 1, {1, 0, 0, 0});
  Bytes broken = Rec("bad", 1, {1, 0, 0, 0});
  broken[8] = 'x';  // the name's NUL

  // Record-like bytes inside a raw payload, with the block's middle in the
  // filler before them.
  const Bytes prefix = Repeat(small, 400);
  const Bytes hidden = Cat({Bytes(64, 0xFF), Repeat(Rec("fake", 1, {1, 0, 0, 0}), 9), broken});
  const size_t payloadStart = prefix.size() + Rec("raw", 4, {}).size();
  const Bytes hiding = Cat(
      {prefix, Rec("raw", 4, hidden), Repeat(small, (payloadStart - hidden.size() + 64) / 12)});

  // Few large records, then many small ones.
  const Bytes large = Repeat(Rec("big", 4, Bytes(2000, 0xFF)), 8);
  const Bytes lopsided = Cat({large, Repeat(small, 1400)});
  const Bytes lopsidedBroken = Cat({large, Repeat(small, 1399), broken});

  const struct {
    const Bytes* block;
    bool accepted;
  } cases[] = {{&hiding, true}, {&lopsided, true}, {&lopsidedBroken, false}};
  for (int i = 0; i < 3; ++i) {
    const Bytes& block = *cases[i].block;
    ASSERT_GE(block.size(), 9000u) << i;
    bool want = false;
    std::string wantProblem;
    uint32_t wantOffset = 0;
    ASSERT_NO_FATAL_FAILURE(ExpectJudgedRecordByRecord(block.data(), uint32_t(block.size()), i,
                                                       want, wantProblem, wantOffset));
    EXPECT_EQ(want, cases[i].accepted) << i;
  }
}

// Nested lists at the edges of the quick record steps (their ends, short
// and long names, the nesting limit, damage next to them), alone, in the
// middle of a large block and at its end, are judged as the
// record-by-record walk judges them.
TEST(BinarySoup, NestedListEdgesAreJudgedRecordByRecord) {
  const Bytes small = Rec("p", 1, {1, 0, 0, 0});
  Bytes pastItsList = small;
  pastItsList[0] += 1;
  Bytes listPastItsList = Rec("in", 0, small);
  listPastItsList[0] += 1;
  Bytes nulInName = Rec("ab", 0, small);
  nulInName[5] = 0;
  Bytes noRoomForType = Rec("ab", 0, small);
  noRoomForType[0] = 3;
  auto nest = [&small](uint32_t levels) {
    Bytes list = small;
    for (uint32_t i = 0; i < levels; ++i) list = Cat({Rec("s", 0, list), small});
    return list;
  };
  const struct {
    const char* what;
    Bytes list;
    bool accepted;
  } cases[] = {
      {"empty list", Rec("s", 0, {}), true},
      {"ends with its last record", Rec("list", 0, Cat({small, small})), true},
      {"five bytes after the last record", Rec("list", 0, Cat({small, Bytes(5, 0xFF)})), true},
      {"ends where its list's list ends", Rec("a", 0, Rec("b", 0, Rec("c", 0, small))), true},
      {"16-byte name", Rec(std::string(15, 'n'), 0, small), true},
      {"17-byte name", Rec(std::string(16, 'n'), 0, small), true},
      {"record past its list", Rec("list", 0, Cat({small, pastItsList})), false},
      {"list past its list", Rec("out", 0, Cat({small, listPastItsList})), false},
      {"NUL inside the name", nulInName, false},
      {"size without room for the type", noRoomForType, false},
      {"deepest nesting", nest(BinarySoup::kMaxDepth), true},
      {"nesting too deep", nest(BinarySoup::kMaxDepth + 1), false},
  };
  for (const auto& c : cases) {
    const Bytes placements[] = {c.list, Cat({Repeat(small, 800), c.list, Repeat(small, 800)}),
                                Cat({Repeat(small, 1600), c.list})};
    for (int place = 0; place < 3; ++place) {
      const Bytes& block = placements[place];
      bool want = false;
      std::string wantProblem;
      uint32_t wantOffset = 0;
      ASSERT_NO_FATAL_FAILURE(ExpectJudgedRecordByRecord(block.data(), uint32_t(block.size()),
                                                         place, want, wantProblem, wantOffset))
          << c.what;
      EXPECT_EQ(want, c.accepted) << c.what << " " << place;
    }
  }
}

// Damaged bytes in general are left to the fuzz target; a cut is always seen.
TEST(BinarySoup, RefusesEveryTruncation) {
  RandomSoup maker(77);
  ChunkRef tree = maker.Make();
  while (tree->CountChildren() < 5) tree = maker.Make();
  const Bytes bytes = WriteSoup(tree.get());
  for (size_t n = 0; n < bytes.size(); ++n) {
    Soup soup;
    ASSERT_FALSE(ReadSoup(Bytes(bytes.begin(), bytes.begin() + long(n)), soup)) << n;
    EXPECT_TRUE(soup.Empty());
  }
}

}  // namespace
