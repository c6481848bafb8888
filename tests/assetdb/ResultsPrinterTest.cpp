#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "foundation/soup/VandruProperty.h"

namespace {

std::string Printed(ResultsLog& log) {
  std::ostringstream out;
  PrintCommandResults(log, out);
  return out.str();
}

// A property whose value text is whatever it was given.
class TextProperty : public VandruPropertyRefCounted {
 public:
  explicit TextProperty(const char* text)
      : VandruPropertyRefCounted(Kiv::PString("Note")), text_(text) {}
  void GetValueText(Kiv::PString& out) const override { out = text_; }

 private:
  Kiv::PString text_;
};

TEST(ResultsPrinter, PrintsEachSeverityAndTheSummaryExactly) {
  ResultsLog log;
  log.AddResult(ResultsLog::kError, AssetSubject({123, 456, 0}), "Asset is damaged");
  log.AddResult(ResultsLog::kWarning, {}, "Check the textures");
  log.AddResult(ResultsLog::kSuccess, AssetSubject({123, 456, 3}), "Installed");
  log.AddResult(ResultsLog::kInformation, AssetSubject({-5, 7, 127}), "Note");
  log.AddResult(9, {}, "odd severity");
  EXPECT_FALSE(log.IsViewed());
  EXPECT_EQ(Printed(log),
            "- <kuid:123:456> : Asset is damaged\n"
            "! <NULL> : Check the textures\n"
            "+ <kuid2:123:456:3> : Installed\n"
            "; <kuid:-5:7> : Note\n"
            "<NULL> : odd severity\n"
            "OK (1 Errors, 1 Warnings)\n");
  EXPECT_TRUE(log.IsViewed());
}

TEST(ResultsPrinter, EmptyLogAndErrorsStillSayOK) {
  ResultsLog log;
  EXPECT_EQ(Printed(log), "OK (0 Errors, 0 Warnings)\n");
  log.AddResult(ResultsLog::kError, {}, "a");
  log.AddResult(ResultsLog::kError, {}, "b");
  log.AddResult(ResultsLog::kInformation, {}, "c");
  EXPECT_EQ(Printed(log),
            "- <NULL> : a\n"
            "- <NULL> : b\n"
            "; <NULL> : c\n"
            "OK (2 Errors, 0 Warnings)\n");
}

TEST(ResultsPrinter, SubjectsComeFromTheStackAndNonKUIDsShowNull) {
  ResultsLog log;
  log.PushSubject(AssetSubject({1, 2, 0}));
  log.AddResult(ResultsLog::kWarning, {}, "pushed");
  log.PopSubject();
  log.AddResult(ResultsLog::kWarning, {}, "popped");
  log.AddResult(ResultsLog::kWarning, PropertyRef::FromPointer(new TextProperty("not a kuid")),
                "odd");
  log.AddResult(ResultsLog::kWarning, PropertyRef::FromPointer(new TextProperty("<kuid2:1:2:3>")),
                "text");
  EXPECT_EQ(Printed(log),
            "! <kuid:1:2> : pushed\n"
            "! <NULL> : popped\n"
            "! <NULL> : odd\n"
            "! <kuid2:1:2:3> : text\n"
            "OK (0 Errors, 4 Warnings)\n");
}

TEST(ResultsPrinter, CopyResultLineKeepsValidUtf8AndMasksInvalidBytes) {
  EXPECT_EQ(CopyResultLine(""), "");
  EXPECT_EQ(CopyResultLine("plain"), "plain");
  EXPECT_EQ(
      CopyResultLine("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD \xF4\x8F\xBF\xBF"),
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD \xF4\x8F\xBF\xBF");
  // Not valid UTF-8: every byte of 0x80 or above becomes "?", even those of
  // the well-formed characters around the bad one.
  EXPECT_EQ(CopyResultLine("caf\xE9 \xC3\xA9"), "caf? ??");
  EXPECT_EQ(CopyResultLine("\xC0\xAF"), "??");            // overlong
  EXPECT_EQ(CopyResultLine("\xE0\x80\x80"), "???");       // overlong
  EXPECT_EQ(CopyResultLine("\xF5\x80\x80\x80"), "????");  // no lead byte
  EXPECT_EQ(CopyResultLine("\xED\xA0\x80"), "???");       // surrogate
  EXPECT_EQ(CopyResultLine("\xF4\x90\x80\x80"), "????");  // above U+10FFFF
  EXPECT_EQ(CopyResultLine("ab\xE2\x82"), "ab??");        // cut short
  EXPECT_EQ(CopyResultLine(std::string("ab\0cd", 5)), "ab");

  ResultsLog log;
  log.AddResult(ResultsLog::kError, {}, "bad \xFF byte");
  EXPECT_EQ(Printed(log), "- <NULL> : bad ? byte\nOK (1 Errors, 0 Warnings)\n");
}

// Each control character is shown as "\xHH" of its bytes; a backslash only
// before "x"; every other character, valid UTF-8 included, as it is.
TEST(ResultsPrinter, CopyResultLineShowsControlCharactersEscaped) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"a\nb\r\n", "a\\x0Ab\\x0D\\x0A"},
      {"\x01\t\x1F \x7F~", "\\x01\\x09\\x1F \\x7F~"},
      {"\xC2\x80\xC2\x85\xC2\x9F\xC2\xA0", "\\xC2\\x80\\xC2\\x85\\xC2\\x9F\xC2\xA0"},
      {"\xE2\x80\xA7\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAA\xE2\x81\xA8\xE3\x80\xA8",
       "\xE2\x80\xA7\\xE2\\x80\\xA8\\xE2\\x80\\xA9\xE2\x80\xAA\xE2\x81\xA8\xE3\x80\xA8"},
      {"mesh\\new\\x1B\\", "mesh\\new\\x5Cx1B\\"},
      {"\\\\x\\\n", "\\\\x5Cx\\\\x0A"},
      {"\xFF\x1B\\x\xC2\x85", "?\\x1B\\x5Cx??"},
  };
  for (const auto& c : cases) EXPECT_EQ(CopyResultLine(c.text), c.shown) << c.shown;

  ResultsLog log;
  log.AddResult(ResultsLog::kError, {}, "two\nlines");
  log.AddResult(ResultsLog::kError, {}, "ends its line\r\n\n");
  EXPECT_EQ(Printed(log),
            "- <NULL> : two\\x0Alines\n- <NULL> : ends its line\\x0D\\x0A\n\n"
            "OK (2 Errors, 0 Warnings)\n");
}

}  // namespace
