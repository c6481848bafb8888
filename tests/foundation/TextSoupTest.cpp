#include "foundation/soup/TextSoup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TDBDataTag.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TFile.h"
#include "foundation/text/KUID.h"
#include "kiv/DynamicBuffer.h"
#include "tests/support/CapturedLog.h"

namespace {

using Status = TextSoup::Status;

const std::string kBom = "\xEF\xBB\xBF";

Kiv::PString N(std::string_view s) {
  return Kiv::PString(s);
}

using LogCapture = VUTest::CapturedLog;

std::string WriteText(const Soup& soup) {
  TBuffer stream;
  TextSoup::Write(stream, soup);
  EXPECT_EQ(stream.GetError(), TStream::kErrorNone);
  const Kiv::DynamicBuffer* data = stream.GetData();
  return std::string(reinterpret_cast<const char*>(data->Data()), data->DataLength());
}

TextSoup::Result ParseText(std::string_view text, Soup& soup, bool utf8 = false) {
  Kiv::DynamicBuffer bytes;
  bytes.Write(text.data(), uint32_t(text.size()));
  bytes.SetPosition(0);
  TBuffer stream(&bytes, false);
  return TextSoup::Parse(soup, stream, utf8);
}

// Parses a text that must be accepted.
Soup Parsed(std::string_view text, bool utf8 = false) {
  Soup soup;
  LogCapture quiet;
  const TextSoup::Result result = ParseText(text, soup, utf8);
  EXPECT_TRUE(result.Ok()) << TextSoup::StatusText(result.status) << " on line " << result.line
                           << " in: " << text;
  return soup;
}

std::string Hex(const uint8_t* data, uint32_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint32_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

// A canonical description of a tree: every child's name, type and bytes.
std::string Dump(const ACSChunk* chunk, int level = 0) {
  std::string out;
  const uint32_t count = chunk == nullptr ? 0 : chunk->CountChildren();
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name;
    ChunkRef child;
    if (!chunk->GetChildAt(i, name, child)) continue;
    out += std::string(size_t(level) * 2, ' ') + name.Str() + " type " +
           std::to_string(child->GetType());
    if (child->GetType() == SoupType::kContainer) {
      out += " {\n" + Dump(child.get(), level + 1) + std::string(size_t(level) * 2, ' ') + "}\n";
    } else {
      out += " " + Hex(child->GetData(), child->GetDataSize()) + "\n";
    }
  }
  return out;
}

std::vector<float> Floats(const Soup& soup, const char* name) {
  std::vector<float> out;
  soup.GetNamedTagAsFloatArray(N(name), out);
  return out;
}

// Sets a tag of any type from raw bytes, replacing the first of its name.
void SetRaw(Soup& soup, const Kiv::PString& name, uint32_t type, const void* data, uint32_t n) {
  soup.Create();
  soup.RemoveNamedTag(name);
  soup.GetChunk()->SetChild(name, TDBDataTag::Create(type, ACSRawDataCore::CreateCopy(data, n)));
}

void SetInts(Soup& soup, const Kiv::PString& name, const std::vector<int32_t>& values) {
  SetRaw(soup, name, SoupType::kInt, values.data(), uint32_t(values.size() * 4));
}

// --- Writing -----------------------------------------------------------------

TEST(TextSoupWrite, SeparatorLinesAndColumnsFollowTheLevel) {
  // A container first in its parent has no separator line; deeper levels
  // are indented and keep values in column 41 until the name leaves no room.
  Soup inner;
  inner.SetNamedTag(N("deep"), "x");
  Soup mid;
  mid.SetNamedSoup(N("inner"), inner);
  mid.SetNamedInt(N("n"), 3);
  Soup soup;
  soup.SetNamedSoup(N("mid"), mid);
  soup.SetNamedTag(N(std::string(45, 'k')), "v");
  const std::string expected = kBom + "\r\n" +                                    //
                               "mid\r\n{\r\n" +                                   //
                               "  inner\r\n  {\r\n" +                             //
                               "    deep" + std::string(32, ' ') + "\"x\"\r\n" +  //
                               "  }\r\n" +                                        //
                               "  n" + std::string(37, ' ') + "3\r\n" +           //
                               "}\r\n" +                                          //
                               std::string(45, 'k') + " \"v\"\r\n";
  EXPECT_EQ(WriteText(soup), expected);
}

TEST(TextSoupWrite, QuotesFollowTheTypeAndTheText) {
  Soup soup;
  soup.SetNamedTag(N("s1"), "a b");
  soup.SetNamedTag(N("s2"), "x");
  soup.SetNamedInt(N("i"), 5);
  soup.SetNamedKUID(N("k"), KUID{123, 456, 0});
  soup.SetNamedTag(N("q"), "say \"hi\"");
  soup.SetNamedTag(N("e"), "");
  const uint8_t raw[3] = {1, 2, 3};
  SetRaw(soup, N("r"), SoupType::kRaw, raw, 3);
  const float floats[3] = {1, 2, 3};
  soup.SetNamedFloatArray(N("f"), floats);
  SetInts(soup, N("ia"), {1, 2, 3});
  const std::string pad(38, ' ');
  const std::string expected = kBom + "\r\n" +                      //
                               "s1" + pad + "\"a b\"\r\n" +         //
                               "s2" + pad + "\"x\"\r\n" +           //
                               "i " + pad + "5\r\n" +               //
                               "k " + pad + "<kuid:123:456>\r\n" +  //
                               "q " + pad + "\"say 'hi'\"\r\n" +    //
                               "e " + pad + "\r\n" +                //
                               "r " + pad + "\r\n" +                //
                               "f " + pad + "1,2,3\r\n" +           //
                               "ia" + pad + "1,2,3\r\n";
  EXPECT_EQ(WriteText(soup), expected);
}

TEST(TextSoupWrite, NamesAreNormalised) {
  EXPECT_EQ(TextSoup::NormaliseTagName("Na me\x80\x01X~"), "na_me__x~");
  // Only A to Z are lowered, and only bytes below "!" or above 0x7F replaced.
  EXPECT_EQ(TextSoup::NormaliseTagName("!@AZ[`az{\x7f"), "!@az[`az{\x7f");
  EXPECT_EQ(TextSoup::NormaliseTagName(std::string(1500, 'A')), std::string(1024, 'a'));
  Soup soup;
  soup.SetNamedInt(N(std::string(1500, 'b')), 1);
  EXPECT_EQ(WriteText(soup), kBom + "\r\n" + std::string(1024, 'b') + " 1\r\n");
}

TEST(TextSoupWrite, EmptyHandleWritesNothingAndEmptySoupWritesTheHeader) {
  EXPECT_EQ(WriteText(Soup()), "");
  Soup soup;
  soup.Create();
  EXPECT_EQ(WriteText(soup), kBom + "\r\n");
}

// --- Reading -----------------------------------------------------------------

// The kind of a value follows its text; two KUID literals make a string.
TEST(TextSoupParse, InfersTheValueKindFromTheText) {
  const struct {
    const char* text;
    uint32_t type;
    const char* value;
  } cases[] = {
      {"1.5", SoupType::kFloat, "1.5"},
      {"15", SoupType::kInt, "15"},
      {"1,2,3", SoupType::kFloat, "1,2,3"},
      {"1\t2 , 3", SoupType::kFloat, "1,2,3"},
      {"1.2.3", SoupType::kFloat, "1.2"},
      {"abc", SoupType::kString, "abc"},
      {"1x", SoupType::kString, "1x"},
      {"\"15\"", SoupType::kString, "15"},
      {"<kuid:123:456>", SoupType::kKUID, "<kuid:123:456>"},
      {"<null>", SoupType::kKUID, "<NULL>"},
      {"<kuid:1:2> <kuid:3:4>", SoupType::kString, "<kuid:1:2> <kuid:3:4>"},
      {"<KUID:1:2> <KUID:3:4>", SoupType::kKUID, nullptr},  // literals count in lower case only
      {"kuid:1:2", SoupType::kString, "kuid:1:2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Soup soup = Parsed(std::string("v ") + c.text + "\n");
    EXPECT_EQ(soup.GetNamedTagType(N("v")), c.type);
    if (c.value != nullptr) {
      EXPECT_EQ(soup.GetNamedTag(N("v")).Str(), c.value);
    }
  }
  EXPECT_EQ(Parsed("d \"<kuid:5:6>\"").GetNamedTagAsKUID(N("d"), KUID{}), (KUID{5, 6, 0}));
  // A name without a value is a null tag, also on the last line.
  const Soup soup = Parsed("none\nlast");
  EXPECT_EQ(soup.CountTags(), 2u);
  EXPECT_FALSE(soup.HasNamedTag(N("none")));
  EXPECT_EQ(soup.GetIndexedTagName(1), N("last"));
}

TEST(TextSoupParse, OpensSubSoupsOnTheSameOrALaterLine) {
  const Soup soup = Parsed(
      "a\n"
      "  \n"
      "{\n"
      "  x 5}\n"
      "b {c 1\n"
      "}\n"
      "e {}\n"
      "after 2\n");
  const Soup a = soup.GetNamedSoup(N("a"));
  ASSERT_FALSE(a.IsNull());
  // A number followed by "}" on its line is a string; the brace still
  // closes the sub-soup.
  EXPECT_EQ(a.GetNamedTagType(N("x")), SoupType::kString);
  EXPECT_EQ(a.GetNamedTag(N("x")).Str(), "5");
  EXPECT_EQ(soup.GetNamedSoup(N("b")).GetNamedTagAsInt(N("c"), 0), 1);
  EXPECT_EQ(soup.GetNamedTagType(N("e")), SoupType::kContainer);
  EXPECT_EQ(soup.GetNamedSoup(N("e")).CountTags(), 0u);
  EXPECT_EQ(soup.GetNamedTagAsInt(N("after"), 0), 2);
  EXPECT_EQ(soup.CountTags(), 4u);
}

TEST(TextSoupParse, LowersNamesAndKeepsTheLastValueAtTheEnd) {
  const Soup soup = Parsed("Name 1\nother 2\nNAME 3\n");
  ASSERT_EQ(soup.CountTags(), 2u);
  EXPECT_EQ(soup.GetIndexedTagName(0), N("other"));
  EXPECT_EQ(soup.GetIndexedTagName(1), N("name"));
  EXPECT_EQ(soup.GetNamedTagAsInt(N("name"), 0), 3);
}

// Names met again are shared from the reader's recent names: names that
// agree in length, first and last bytes must still stay apart, and a name
// must come back the same in every sub-soup.
TEST(TextSoupParse, RepeatedAndLookalikeNamesKeepTheirOwnTags) {
  std::string text;
  for (int i = 0; i < 3; ++i) {
    text += "group" + std::to_string(i) + "\n{\n";
    text += "abcdefgh_1_ijklmnop " + std::to_string(10 * i + 1) + "\n";
    text += "abcdefgh_2_ijklmnop " + std::to_string(10 * i + 2) + "\n";
    text += "ab1 " + std::to_string(10 * i + 3) + "\n";
    text += "ab2 " + std::to_string(10 * i + 4) + "\n";
    text += "AB1 " + std::to_string(10 * i + 5) + "\n";
    text += "}\n";
  }
  const Soup soup = Parsed(text);
  ASSERT_EQ(soup.CountTags(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    const Soup group = soup.GetIndexedSoup(i);
    ASSERT_EQ(group.CountTags(), 4u) << "group " << i;
    const int base = int(10 * i);
    EXPECT_EQ(group.GetNamedTagAsInt(N("abcdefgh_1_ijklmnop"), 0), base + 1);
    EXPECT_EQ(group.GetNamedTagAsInt(N("abcdefgh_2_ijklmnop"), 0), base + 2);
    EXPECT_EQ(group.GetNamedTagAsInt(N("ab2"), 0), base + 4);
    EXPECT_EQ(group.GetNamedTagAsInt(N("ab1"), 0), base + 5);
    EXPECT_EQ(group.GetIndexedTagName(0), N("abcdefgh_1_ijklmnop"));
    EXPECT_EQ(group.GetIndexedTagName(3), N("ab1"));
  }
}

// Every value kind, repeated names and sub-soups at several levels read
// into the very tree that the Soup setters build from the same lines, in
// order: types, bytes, names and order alike.
TEST(TextSoupParse, ReadsTheTreeTheSettersBuild) {
  const std::string text =
      "a 1\nb 2.5\nc 1,2,3\nd\ne \"\"\nf <kuid:5:6>\ng text\na 3\n"
      "s {\n  x 1\n  x 2\n  t {\n  }\n  y \"q\"\n}\nb 7\ns {\n  z 9\n}\n"
      "many {\n" +
      [] {
        std::string lines;
        for (int i = 0; i < 30; ++i)
          lines += "  n" + std::to_string(i % 20) + " " + std::to_string(i) + "\n";
        return lines;
      }() +
      "}\n";
  Soup built;
  built.SetNamedInt(N("a"), 1);
  built.SetNamedFloat(N("b"), 2.5f);
  const float list[] = {1, 2, 3};
  built.SetNamedFloatArray(N("c"), list);
  built.SetNamedNull(N("d"));
  built.SetNamedTag(N("e"), std::string_view());
  built.SetNamedKUID(N("f"), KUID{5, 6, 0});
  built.SetNamedTag(N("g"), "text");
  built.SetNamedInt(N("a"), 3);
  Soup s1;
  s1.SetNamedInt(N("x"), 1);
  s1.SetNamedInt(N("x"), 2);
  Soup t;
  s1.SetNamedSoup(N("t"), t);
  s1.SetNamedTag(N("y"), "q");
  built.SetNamedSoup(N("s"), s1);
  built.SetNamedInt(N("b"), 7);
  Soup s2;
  s2.SetNamedInt(N("z"), 9);
  built.SetNamedSoup(N("s"), s2);
  Soup many;
  for (int i = 0; i < 30; ++i) many.SetNamedInt(N("n" + std::to_string(i % 20)), i);
  built.SetNamedSoup(N("many"), many);

  const Soup read = Parsed(text);
  EXPECT_EQ(WriteText(read), WriteText(built));
  struct Walker {
    static void Same(const ACSChunk* a, const ACSChunk* b) {
      ASSERT_EQ(a->GetType(), b->GetType());
      ASSERT_EQ(a->GetDataSize(), b->GetDataSize());
      if (a->GetDataSize() != 0) {
        EXPECT_EQ(std::memcmp(a->GetData(), b->GetData(), a->GetDataSize()), 0);
      }
      ASSERT_EQ(a->CountChildren(), b->CountChildren());
      for (uint32_t i = 0; i < a->CountChildren(); ++i) {
        Kiv::PString na, nb;
        ChunkRef ca, cb;
        ASSERT_TRUE(a->GetChildAt(i, na, ca));
        ASSERT_TRUE(b->GetChildAt(i, nb, cb));
        ASSERT_EQ(na, nb);
        EXPECT_EQ(a->GetChild(na).get() == ca.get(), b->GetChild(nb).get() == cb.get()) << na.Str();
        Same(ca.get(), cb.get());
      }
    }
  };
  Walker::Same(read.GetChunk(), built.GetChunk());
}

TEST(TextSoupParse, RecodesAnsiTextUnlessTheTextIsUtf8) {
  EXPECT_EQ(Parsed("s caf\xE9\n").GetNamedTag(N("s")).Str(), "caf\xC3\xA9");
  EXPECT_EQ(Parsed(kBom + "s caf\xE9\n").GetNamedTag(N("s")).Str(), "caf\xE9");
  EXPECT_EQ(Parsed("s caf\xE9\n", true).GetNamedTag(N("s")).Str(), "caf\xE9");
  // A long text of high bytes grows to what the conversion needs.
  const std::string euros(5000, '\x80');
  std::string expected;
  for (int i = 0; i < 5000; ++i) expected += "\xE2\x82\xAC";
  EXPECT_EQ(Parsed("s " + euros).GetNamedTag(N("s")).Str(), expected);
}

TEST(TextSoupParse, EscapesAndLineEndsInValues) {
  const Soup soup = Parsed(
      "u a\\nb\n"
      "q \"a\\nb\"\n"
      "back a\\b\\\n"
      "lines \"1\r2\n3\r\n4\n\r5\n\n6\"\n"
      "tail \"x\" next 7\n"
      "open \"a}b\"\n"
      "plain a\"b\n"
      "empty \"\"\n");
  EXPECT_EQ(soup.GetNamedTag(N("u")).Str(), "a\r\nb");
  EXPECT_EQ(soup.GetNamedTag(N("q")).Str(), "a\\nb");
  EXPECT_EQ(soup.GetNamedTag(N("back")).Str(), "a\\b\\");
  EXPECT_EQ(soup.GetNamedTag(N("lines")).Str(), "1\r\n2\r\n3\r\n4\r\n5\r\n\r\n6");
  // Text after a closing quote starts the next tag.
  EXPECT_EQ(soup.GetNamedTag(N("tail")).Str(), "x");
  EXPECT_EQ(soup.GetNamedTagAsInt(N("next"), 0), 7);
  EXPECT_EQ(soup.GetNamedTag(N("open")).Str(), "a}b");
  EXPECT_EQ(soup.GetNamedTag(N("plain")).Str(), "a\"b");
  // An explicit empty text is an empty string tag, not a null tag.
  EXPECT_EQ(soup.GetNamedTagType(N("empty")), SoupType::kString);
  EXPECT_TRUE(soup.HasNamedTag(N("empty")));
}

TEST(TextSoupParse, CutsNamesAt511Characters) {
  const Soup soup = Parsed(std::string(600, 'N') + " 4\n");
  ASSERT_EQ(soup.CountTags(), 1u);
  EXPECT_EQ(soup.GetIndexedTagName(0).Str(), std::string(511, 'n'));
  EXPECT_EQ(soup.GetNamedTagAsInt(N(std::string(511, 'n')), 0), 4);
}

// Names are read in runs of 16 bytes where the text allows: capitals are
// lowered and every end of a name is found wherever it falls in a run, at
// the end of the text as well.
TEST(TextSoupParse, NamesEndAndLowerAnywhereInTheirRuns) {
  const std::string mixed = "Alpha-BETA_gamma.Delta-Zz@[`{";
  struct Case {
    std::string text;
    std::string name;
  };
  const Case cases[] = {
      {mixed + " 1\n", "alpha-beta_gamma.delta-zz@[`{"},
      {mixed + "\t1\n", "alpha-beta_gamma.delta-zz@[`{"},
      {"ABCDEFGHIJKLMNOP 1\n", "abcdefghijklmnop"},
      {"ABCDEFGHIJKLMNOPQ\r\n", "abcdefghijklmnopq"},
      {"sub {\n ABCDEFGHIJKLMNO}", "sub/abcdefghijklmno"},
      {"x\xC9\xE9\x80Yz 1\n", "x\xC9\xE9\x80yz"},
      {"TheNameRunsToTheEndOfTheText", "thenamerunstotheendofthetext"},
      {std::string(40, 'Q') + "\n", std::string(40, 'q')},
      {std::string(505, 'a') + "BCDEFGHIJK 1", std::string(505, 'a') + "bcdefg"},
  };
  for (const Case& c : cases) {
    const Soup soup = Parsed(c.text, true);
    ASSERT_EQ(soup.CountTags(), 1u) << c.name;
    std::string name = soup.GetIndexedTagName(0).Str();
    if (soup.GetNamedTagType(soup.GetIndexedTagName(0)) == SoupType::kContainer) {
      name += "/" + soup.GetIndexedSoup(0).GetIndexedTagName(0).Str();
    }
    EXPECT_EQ(name, c.name);
  }
}

// Runs of blanks and line ends, and values, read alike whatever their
// length and wherever they end (inside the text or at its very end).
TEST(TextSoupParse, BlanksAndValuesEndAnywhereInTheirRuns) {
  for (const size_t n : {0u, 1u, 7u, 15u, 16u, 17u, 31u, 32u, 33u, 47u}) {
    SCOPED_TRACE(n);
    std::string pad;
    for (size_t i = 0; i < n; ++i) pad += i % 5 == 4 ? '\t' : ' ';
    std::string lines;
    for (size_t i = 0; i < n; ++i) lines += i % 3 == 0 ? "\r\n" : (i % 3 == 1 ? " " : "\n\t");
    const std::string word(n, 'w');
    const std::string text = "s " + pad + "{" + lines + "a " + pad + "\"" + word + "q\"" + lines +
                             "b " + pad + word + "\\n" + word + "}" + lines + "c " + pad + "12" +
                             pad + "\r\nd " + pad + lines + "\n" + pad + "{" + pad + "}" + lines +
                             "e " + pad;
    const Soup soup = Parsed(text, true);
    ASSERT_EQ(soup.CountTags(), 4u);
    const Soup sub = soup.GetNamedSoup(N("s"));
    EXPECT_EQ(sub.GetNamedTag(N("a")).Str(), word + "q");
    EXPECT_EQ(sub.GetNamedTag(N("b")).Str(), word + "\r\n" + word);
    EXPECT_EQ(soup.GetNamedTagAsInt(N("c"), 0), 12);
    EXPECT_EQ(soup.GetNamedTagType(N("d")), SoupType::kContainer);
    EXPECT_EQ(soup.GetNamedTagType(N("e")), SoupType::kNull);
    // The quoted value running to the end of the text.
    EXPECT_EQ(Parsed("t " + pad + "\"" + word, true).GetNamedTag(N("t")).Str(), word);
  }
}

TEST(TextSoupParse, ReadsNumberListsOfAnyLengthWhole) {
  std::string text = "list ";
  std::vector<float> expected;
  for (int i = 0; i < 3000; ++i) {
    text += std::to_string(i) + ".25,";
    expected.push_back(float(i) + 0.25f);
  }
  EXPECT_EQ(Floats(Parsed(text), "list"), expected);
}

// Numbers in lists and values read to the bit as the library's full scan
// reads them (correctly rounded), short or long, with or without a dot.
TEST(TextSoupParse, FloatsReadAsTheFullScanReadsThem) {
  std::vector<std::string> numbers = {"0.1", "-0", "-0.0", "5.", ".5", "-.5", "16777217",
                                      "1234567.5", "9999999", "0.0000001", "3.4028235",
                                      "1.2.3", "1-2", "-", ".", "-.", "123456789.123",
                                      "0.30000001192092896", "00000001.5", "76.875"};
  std::mt19937 rng(11);
  for (int i = 0; i < 3000; ++i) {
    std::string number;
    const uint32_t digits = 1 + rng() % 10;
    for (uint32_t d = 0; d < digits; ++d) number += char('0' + rng() % 10);
    if (rng() % 4 != 0) number.insert(rng() % (digits + 1), ".");
    if (rng() % 2 == 0) number.insert(0, "-");
    numbers.push_back(number);
  }
  std::string list = "list ";
  for (const std::string& number : numbers) list += number + ",";
  const std::vector<float> read = Floats(Parsed(list + "\n"), "list");
  ASSERT_EQ(read.size(), numbers.size());
  for (size_t i = 0; i < numbers.size(); ++i) {
    const std::string& number = numbers[i];
    float expected = 0;
    const auto [next, error] =
        std::from_chars(number.data(), number.data() + number.size(), expected,
                        std::chars_format::fixed);
    if (error != std::errc()) expected = 0;
    EXPECT_EQ(std::bit_cast<uint32_t>(read[i]), std::bit_cast<uint32_t>(expected)) << number;
  }
}

TEST(TextSoupParse, ClampsIntegersAndFloatsBeyondTheirRange) {
  const Soup soup = Parsed(
      "big 99999999999999999999\n"
      "small -99999999999999999999\n"
      "edge 2147483647\n"
      "huge 1" +
      std::string(60, '0') +
      ".5\n"
      "tiny 0." +
      std::string(60, '0') + "1\n");
  EXPECT_EQ(soup.GetNamedTagAsInt(N("big"), 0), INT32_MAX);
  EXPECT_EQ(soup.GetNamedTagAsInt(N("small"), 0), INT32_MIN);
  EXPECT_EQ(soup.GetNamedTagAsInt(N("edge"), 0), INT32_MAX);
  EXPECT_EQ(soup.GetNamedTagAsFloat(N("huge"), 0), HUGE_VALF);
  EXPECT_EQ(soup.GetNamedTagAsFloat(N("tiny"), 1), 0.0f);
}

TEST(TextSoupParse, EmptyTextLeavesTheHandleEmpty) {
  Soup soup;
  soup.SetNamedInt(N("old"), 1);
  EXPECT_TRUE(ParseText("", soup).Ok());
  EXPECT_TRUE(soup.Empty());
  EXPECT_TRUE(ParseText(kBom + "\r\n \t\r\n", soup).Ok());
  EXPECT_TRUE(soup.Empty());
}

TEST(TextSoupParse, ByteOrderMarkCountsOnlyAtStreamStart) {
  Kiv::DynamicBuffer bytes;
  const std::string text = "xx" + kBom + "\ns \xE9";
  bytes.Write(text.data(), uint32_t(text.size()));
  bytes.SetPosition(0);
  TBuffer stream(&bytes, false);
  stream.SeekTo(2);
  Soup soup;
  ASSERT_TRUE(TextSoup::Parse(soup, stream, false).Ok());
  // The marker's bytes make up a name of their own, and the text is recoded.
  ASSERT_EQ(soup.CountTags(), 2u);
  EXPECT_EQ(soup.GetNamedTag(N("s")).Str(), "\xC3\xA9");
  EXPECT_EQ(stream.Tell(), uint32_t(text.size()));
}

// --- Damaged texts -------------------------------------------------------------

struct RepairCase {
  std::string text;
  std::string sameAs;  // a well-formed text that reads as the same tree
  size_t unread;       // bytes the parse leaves unread at the end
};

// Damaged texts are not refused: each reads as a well-formed text would,
// logs nothing, and leaves the stream after the last byte that belongs to
// the soup.
TEST(TextSoupDamage, DamagedTextsReadAsTheirRepairedForm) {
  const std::vector<RepairCase> cases = {
      // A missing "}" closes every open sub-soup at the end of the text.
      {"a {\n b 1\n", "a {\n b 1\n}\n", 0},
      // A "}" that matches nothing ends the text; the stream stays on it.
      {"a 1\n}\nb 2\n", "a 1\n", 6},
      {"a 1}\nb 2", "a \"1\"\n", 5},
      // A quoted value runs to the end of the text, braces and all.
      {"a 1\nb \"open\nstill open", "a 1\nb \"open\r\nstill open\"", 0},
      // A number that does not scan is stored as 0.
      {"b -\n", "b 0\n", 0},
      {"list -, 5", "list 0,5", 0},
      // A text that looks like a KUID but is none is the null KUID.
      {"k <kuid:x:y>\n", "k <NULL>\n", 0},
      // The first NUL byte ends the text; NULs that only pad the end count
      // as read.
      {std::string("a 1\r\rb\0c\n", 10), "a 1\nb\n", 4},
      {std::string("q \"ab\0cd\"\nz 1", 13), "q ab\n", 8},
      {std::string("a 1\n\0\0\0", 7), "a 1\n", 0},
  };
  for (const RepairCase& c : cases) {
    SCOPED_TRACE(c.text);
    LogCapture log;
    Kiv::DynamicBuffer bytes;
    bytes.Write(c.text.data(), uint32_t(c.text.size()));
    bytes.SetPosition(0);
    TBuffer stream(&bytes, false);
    Soup soup;
    EXPECT_TRUE(TextSoup::Parse(soup, stream, false).Ok());
    EXPECT_EQ(c.text.size() - stream.Tell(), c.unread);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(Dump(soup.GetChunk()), Dump(Parsed(c.sameAs).GetChunk()));
  }
}

TEST(TextSoupDamage, ClosedStreamIsRefused) {
  LogCapture log;
  TFile closed;
  Soup soup;
  soup.SetNamedInt(N("old"), 1);
  EXPECT_EQ(TextSoup::Parse(soup, closed, false).status, Status::kStreamClosed);
  EXPECT_TRUE(soup.Empty());
  EXPECT_EQ(log.Lines().size(), 1u);
}

std::string Nested(uint32_t depth, const std::string& inner = "v 1\n") {
  std::string text;
  for (uint32_t i = 0; i < depth; ++i) text += "s {\n";
  text += inner;
  for (uint32_t i = 0; i < depth; ++i) text += "}\n";
  return text;
}

// The number of nested sub-soups named "s" below `soup`.
uint32_t DepthOf(Soup soup) {
  uint32_t depth = 0;
  for (soup = soup.GetNamedSoup(N("s")); !soup.IsNull(); soup = soup.GetNamedSoup(N("s"))) ++depth;
  return depth;
}

TEST(TextSoupDamage, SubSoupsBeyondTheDepthBoundAreKeptEmpty) {
  Soup soup = Parsed(Nested(TextSoup::kMaxDepth));
  EXPECT_EQ(DepthOf(soup), TextSoup::kMaxDepth);
  for (uint32_t i = 0; i < TextSoup::kMaxDepth; ++i) soup = soup.GetNamedSoup(N("s"));
  EXPECT_EQ(soup.GetNamedTagAsInt(N("v"), 0), 1);

  // One level more: the deepest sub-soup is read past by the same rules
  // (quoted braces, a sub-soup of its own) and kept empty; what follows it
  // is read.
  soup = Parsed(Nested(TextSoup::kMaxDepth + 1, "q \"}}\n}\"\nt {\n u }\nv 1\n") + "after 3\n");
  EXPECT_EQ(soup.GetNamedTagAsInt(N("after"), 0), 3);
  EXPECT_EQ(DepthOf(soup), TextSoup::kMaxDepth + 1);
  for (uint32_t i = 0; i <= TextSoup::kMaxDepth; ++i) soup = soup.GetNamedSoup(N("s"));
  ASSERT_FALSE(soup.Empty());
  EXPECT_EQ(soup.GetChunk()->GetType(), SoupType::kContainer);
  EXPECT_EQ(soup.CountTags(), 0u);

  std::string braces;
  for (int i = 0; i < 100000; ++i) braces += "s {";
  EXPECT_EQ(DepthOf(Parsed(braces)), TextSoup::kMaxDepth + 1);

  // The writer does not recurse: a much deeper tree is written whole, and
  // reads back cut at the bound.
  Soup deep;
  deep.Create();
  Soup at = deep;
  const size_t levels = 1000;
  for (size_t i = 0; i < levels; ++i) {
    Soup next;
    next.Create();
    at.SetNamedSoup(N("s"), next);
    at = next;
  }
  const std::string text = WriteText(deep);
  EXPECT_EQ(size_t(std::count(text.begin(), text.end(), '{')), levels);
  EXPECT_TRUE(text.ends_with("\n}\r\n"));
  EXPECT_EQ(DepthOf(Parsed(text)), TextSoup::kMaxDepth + 1);
}

// Every prefix of a written text reads; cut between lines (outside the
// quoted value), it reads as the prefix with its open braces closed.
TEST(TextSoupDamage, TruncatedTextReadsAsTheTextBeforeTheCut) {
  Soup inner;
  inner.SetNamedTag(N("name"), "a quoted text\r\nover two lines");
  inner.SetNamedInt(N("n"), 12345);
  Soup outer;
  outer.SetNamedKUID(N("kuid"), KUID{12, 34, 0});
  outer.SetNamedSoup(N("inner"), inner);
  outer.SetNamedTag(N("after"), "tail");
  Soup root;
  root.SetNamedSoup(N("outer"), outer);
  const std::string text = WriteText(root);
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const std::string prefix = text.substr(0, cut);
    Soup soup;
    ASSERT_TRUE(ParseText(prefix, soup).Ok());
    const auto count = [&](char c) { return std::count(prefix.begin(), prefix.end(), c); };
    if (count('"') % 2 != 0 || (cut > 0 && prefix.back() != '\n')) continue;
    const std::string closed = prefix + std::string(size_t(count('{') - count('}')), '}');
    EXPECT_EQ(Dump(soup.GetChunk()), Dump(Parsed(closed).GetChunk()));
  }
}

// --- Round trips ---------------------------------------------------------------

// Every kind of value written and read back: what comes back is the value
// with exactly the documented losses, and the text then stays byte for byte.
TEST(TextSoupRoundTrip, ValuesLoseOnlyTheDocumentedParts) {
  const struct {
    std::string text;
    std::string back;
  } texts[] = {
      {"a b", "a b"},
      {"say \"hi\"", "say 'hi'"},
      {"a{b}c", "a{b}c"},
      {"x\\ny\\", "x\\ny\\"},
      {"1\r2\n3\n\r4", "1\r\n2\r\n3\r\n4"},
      {"7,-.", "7,-."},
      {"x<kuid:1:2>", "x<kuid:1:2>"},
      {"\t\xC3\xA9 ", "\t\xC3\xA9 "},
      {"12", "12"},
  };
  Soup original;
  Soup expected;
  for (size_t i = 0; i < std::size(texts); ++i) {
    const Kiv::PString name("s" + std::to_string(i));
    original.SetNamedTag(name, texts[i].text);
    expected.SetNamedTag(name, texts[i].back);
  }
  const float floats[3] = {-0.125f, 2.5f, 999.875f};
  original.SetNamedFloat(N("f"), -12.375f);
  expected.SetNamedFloat(N("f"), -12.375f);
  original.SetNamedFloat(N("whole"), 4.0f);  // written without a dot: an integer
  expected.SetNamedInt(N("whole"), 4);
  original.SetNamedFloatArray(N("fa"), floats);
  expected.SetNamedFloatArray(N("fa"), floats);
  SetInts(original, N("ia"), {-100000, 7});  // several integers read back as floats
  const float intFloats[2] = {-100000, 7};
  expected.SetNamedFloatArray(N("ia"), intFloats);
  original.SetNamedInt(N("i"), INT32_MIN);
  expected.SetNamedInt(N("i"), INT32_MIN);
  for (const KUID& kuid : {KUID{16777215, -5, 127}, KUID{-16777216, 9, 127}, kNullKUID}) {
    const Kiv::PString name("k" + std::to_string(kuid.userId));
    original.SetNamedKUID(name, kuid);
    expected.SetNamedKUID(name, kuid);
  }
  original.SetNamedTag(N("empty"), "");  // an empty string reads back null
  expected.SetNamedNull(N("empty"));
  const uint8_t raw[2] = {1, 0x22};  // raw bytes have no text form
  SetRaw(original, N("raw"), SoupType::kRaw, raw, 2);
  expected.SetNamedNull(N("raw"));
  Soup sub;
  sub.SetNamedTag(N("q"), "}");
  original.SetNamedSoup(N("sub"), sub);
  expected.SetNamedSoup(N("sub"), sub);

  const std::string text = WriteText(original);
  Soup read;
  ASSERT_TRUE(ParseText(text, read).Ok()) << text;
  EXPECT_EQ(Dump(read.GetChunk()), Dump(expected.GetChunk())) << text;
  const std::string again = WriteText(read);
  Soup reread;
  ASSERT_TRUE(ParseText(again, reread).Ok());
  EXPECT_EQ(WriteText(reread), again);
}

}  // namespace
