#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/tetlib/TetTestSupport.h"

namespace {

using TETLib::Container;
using TETLib::ErrorHandler;
using TETLib::Tag;

enum class Owner { kContainerA, kContainerB, kTagA, kTagB, kNone };

class ErrorHandlerTest : public TetTest {
 protected:
  Kiv::PString Text(const char* text) { return Kiv::PString(text); }

  template <typename... Owners>
  bool Dispatch(uint32_t level, const char* text, const Owners&... owner) {
    ErrorHandler& h = Findings();
    if (level == 3) return h.ReportError(Text(text), owner...);
    if (level == 2) return h.ReportWarning(Text(text), owner...);
    return h.ReportMessage(Text(text), owner...);
  }

  bool Report(Owner owner, uint32_t level, const char* text) {
    switch (owner) {
      case Owner::kContainerA:
        return Dispatch(level, text, a_);
      case Owner::kContainerB:
        return Dispatch(level, text, b_);
      case Owner::kTagA:
        return Dispatch(level, text, tagA_);
      case Owner::kTagB:
        return Dispatch(level, text, tagB_);
      case Owner::kNone:
        break;
    }
    return Dispatch(level, text);
  }

  Container a_, b_;
  Tag tagA_, tagB_;
};

TEST_F(ErrorHandlerTest, DropsDuplicatesByOwnerAndTextWhateverTheLevel) {
  struct Case {
    Owner owner;
    uint32_t level;
    const char* text;
    bool accepted;
  };
  const Case cases[] = {
      {Owner::kContainerA, 3, "x", true},
      {Owner::kContainerA, 3, "x", false},
      {Owner::kContainerA, 2, "x", false},
      {Owner::kContainerB, 3, "x", true},
      {Owner::kTagA, 3, "x", true},
      {Owner::kTagA, 0, "x", false},
      {Owner::kTagB, 2, "x", true},
      {Owner::kContainerA, 2, "y", true},
      // Form C accepts a text only once in the whole list.
      {Owner::kNone, 3, "x", false},
      {Owner::kNone, 0, "z", true},
      {Owner::kNone, 2, "z", false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Report(cases[i].owner, cases[i].level, cases[i].text), cases[i].accepted) << i;
  }
  EXPECT_EQ(Lines(), (std::vector<std::string>{"E x", "E x", "E x", "W x", "W y", "M z"}));
  EXPECT_FALSE(Findings().IsNewText(Text("y")));
  EXPECT_TRUE(Findings().IsNewText(Text("w")));
}

TEST_F(ErrorHandlerTest, OwnersRemoveOnlyTheirFirstFinding) {
  Findings().ReportError(Text("one"), tagA_);
  Findings().ReportError(Text("one"), a_);
  Findings().ReportWarning(Text("two"), tagA_);
  Findings().RemoveByTag(tagA_);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"E one", "W two"}));
  {
    // A tag that dies takes its first finding with it.
    Tag dying;
    Findings().ReportError(Text("three"), dying);
    Findings().ReportError(Text("four"), dying);
  }
  EXPECT_EQ(Lines(), (std::vector<std::string>{"E one", "W two", "E four"}));
  Findings().RemoveByContainer(a_);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"W two", "E four"}));
}

TEST_F(ErrorHandlerTest, ANewObjectNeverInheritsTheFindingsOfADeadOne) {
  // Objects made one after another may share an address; their findings
  // must still be told apart.
  for (int i = 0; i < 3; ++i) {
    auto container = std::make_unique<Container>();
    Findings().ReportError(Text("first"), *container);
    EXPECT_TRUE(Findings().ReportError(Text("again"), *container)) << i;
  }
  EXPECT_EQ(Lines().size(), 3u);
}

TEST_F(ErrorHandlerTest, EchoPrintsAcceptedFindingsOnly) {
  testing::internal::CaptureStdout();
  Findings().ReportError(Text("quiet"));
  Findings().SetEcho(true);
  Findings().ReportError(Text("loud"));
  Findings().ReportError(Text("loud"));
  Findings().SetEcho(false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), Msg("$tet_eh_error") + "loud\n");
}

}  // namespace
