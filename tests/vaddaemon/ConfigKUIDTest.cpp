// The KUID a configuration names as written, and whether the store keeps it.
#include "vaddaemon/ConfigKUID.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "foundation/soup/Soup.h"

namespace {

TEST(ConfigKUID, NamesTheKUIDAsWrittenAndRefusesOneTheStoreCannotKeep) {
  const Kiv::PString name("kuid");
  const struct {
    const char* text;  // a string tag, or nullptr for the KUID tag `tag`
    KUID tag;
    KUID written;
    std::string unkept;  // "" when kept
  } cases[] = {
      {"<kuid:-16777217:5>", {}, {-16777217, 5, 127}, "below -16777216"},
      {"<kuid:-16777216:5>", {}, {-16777216, 5, 127}, ""},
      {"<kuid2:16777216:1:3>", {}, {16777216, 1, 3}, "beyond 16777215"},
      {"not a kuid", {}, kNullKUID, ""},
      // A KUID tag that an older reader wrapped from <kuid:20000000:1>.
      {nullptr, {-13554432, 1, 0}, {20000000, 1, 0}, "beyond 16777215"},
      {nullptr, {-13554432, 1, 127}, {-13554432, 1, 127}, ""},
  };
  for (const auto& c : cases) {
    Soup config;
    if (c.text != nullptr) {
      config.SetNamedTag(name, std::string_view(c.text));
    } else {
      config.SetNamedKUID(name, c.tag);
    }
    const KUID written = KUIDAsWritten(config);
    EXPECT_EQ(written, c.written) << KUIDToTagString(written).View();
    const std::string unkept = UnkeptConfigKUID(config);
    if (c.unkept.empty()) {
      EXPECT_EQ(unkept, "");
    } else {
      EXPECT_EQ(unkept.rfind("the configuration names " + KUIDToTagString(c.written).Str() +
                                 ": its user id lies " + c.unkept,
                             0),
                0u)
          << unkept;
    }
  }
}

}  // namespace
