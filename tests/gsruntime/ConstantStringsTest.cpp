// The strings a context hands out for string constants: one is given out
// again only when nothing else holds it and it still reads the constant.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "gsruntime/GSConstantStrings.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSString.h"

namespace {

using namespace GSRuntime;

GSString* StringOf(GSValue ref) {
  return GSString::FromRef(ref);
}

TEST(ConstantStrings, AStringIsGivenOutAgainOnlyWhenFreeAndUnchanged) {
  const std::string literal = "Ping";  // one address, as a library's table gives
  const std::string_view text(literal);
  struct Case {
    const char* what;
    bool holdFirst;
    bool change;
    bool same;
  };
  const Case cases[] = {
      {"released unchanged", false, false, true},
      {"still held", true, false, false},
      {"changed in place, then released", false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GSContext context;
    const GSValue first = context.Constants().Take(text, context);
    ASSERT_NE(first, 0u);
    ASSERT_EQ(StringOf(first)->text, "Ping");
    EXPECT_EQ(GSContextOfRef(first), &context);
    if (c.change) StringOf(first)->text[0] = 'Q';
    if (!c.holdFirst) GSObjectReference::Release(first);
    const GSValue second = context.Constants().Take(text, context);
    ASSERT_NE(second, 0u);
    EXPECT_EQ(StringOf(second)->text, "Ping");
    EXPECT_EQ(second == first, c.same);
    EXPECT_EQ(GSScriptInstance::FromRef(second)->count, 2);  // the table's and ours
    GSObjectReference::Release(second);
    if (c.holdFirst) {
      EXPECT_EQ(StringOf(first)->text, "Ping");
      GSObjectReference::Release(first);
    }
  }
  EXPECT_EQ(GSScriptInstance::LiveCount(), 0);
}

TEST(ConstantStrings, KeptStringsStayChargedAndTheMeterStillRefuses) {
  const std::string literal(1000, 'c');
  GSContext context;
  const uint64_t before = context.Meter().Live();
  const GSValue ref = context.Constants().Take(literal, context);
  ASSERT_NE(ref, 0u);
  GSObjectReference::Release(ref);
  EXPECT_GT(context.Meter().Live(), before + 1000);
  // A refused string is refused as a new one would be.
  context.Meter().SetLimit(context.Meter().Live());
  const std::string other(1000, 'd');
  EXPECT_EQ(context.Constants().Take(other, context), 0u);
}

}  // namespace
