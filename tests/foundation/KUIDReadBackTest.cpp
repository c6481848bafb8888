// Which KUIDs the packed forms give back, and what the text soup reader
// keeps of a KUID that they would give back as another.
#include <gtest/gtest.h>

#include <string>

#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "tests/support/TextSoupText.h"

namespace {

TEST(KUIDReadBack, OnlyKUIDsWhoseFieldsFitThePackedWordReadBack) {
  const struct {
    KUID kuid;
    bool back;
  } cases[] = {
      {{-16777216, 5, 127}, true}, {{-16777217, 5, 127}, false}, {{16777215, 1, 0}, true},
      {{16777216, 1, 0}, false},   {{16777215, 1, 127}, true},   {{20000000, 1, 127}, false},
      {{33554431, 1, 3}, false},   {kNullKUID, true},            {{5, 1, 128}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KUIDReadsBack(c.kuid), c.back) << KUIDToTagString(c.kuid).View();
  }
}

TEST(KUIDReadBack, TextSoupKeepsAKUIDThatATagCannotHoldAsWritten) {
  const struct {
    const char* value;   // as the file gives it
    const char* string;  // the string kept, or nullptr for a KUID tag
    KUID kuid;           // GetNamedTagAsKUID
    bool utf8 = true;
  } cases[] = {
      {"<kuid:-16777216:5>", nullptr, {-16777216, 5, 127}},
      {"<kuid:-16777217:5>", "<kuid:-16777217:5>", {16777215, 5, 127}},
      {"<kuid:16777215:1>", nullptr, {16777215, 1, 0}},
      {"<KUID:16777216:1>", "<KUID:16777216:1>", {-16777216, 1, 0}},
      {"<kuid2:16777215:1:127>", nullptr, {16777215, 1, 127}},
      {"\"<kuid2:20000000:1:127>\"", "<kuid2:20000000:1:127>", {-13554432, 1, 127}},
      {"<kuid:-20000000:1> \xE9", "<kuid:-20000000:1> \xC3\xA9", {13554432, 1, 127}, false},
  };
  const Kiv::PString name("kuid");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const Soup read = VUTest::ParsedTextSoup(std::string("kuid ") + c.value + "\n", c.utf8);
    EXPECT_EQ(read.GetNamedTagAsKUID(name, kNullKUID), c.kuid);
    if (c.string == nullptr) {
      EXPECT_EQ(read.GetNamedTagType(name), SoupType::kKUID);
      continue;
    }
    ASSERT_EQ(read.GetNamedTagType(name), SoupType::kString);
    EXPECT_EQ(read.GetNamedTag(name).View(), c.string);
    // Written and read again, it stays that string.
    const Soup again = VUTest::ParsedTextSoup(VUTest::WrittenTextSoup(read));
    EXPECT_EQ(again.GetNamedTag(name).View(), c.string);
  }
}

}  // namespace
