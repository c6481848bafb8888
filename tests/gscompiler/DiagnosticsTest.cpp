// Counting and line format of the compiler's message operations.
#include <gtest/gtest.h>

#include <string>

#include "ParseTestSupport.h"
#include "gscompiler/CompileDiagnostics.h"

using GSCompiler::CompileDiagnostics;

TEST(GSCompilerReport, FormatsFileLineAndTextAndCounts) {
  GSTest::VectorLog log;
  CompileDiagnostics context{"a.gs", &log, 0, 0};
  GSCompilerReport(&context, true, false, 12, "%s, line %d", "parse error", 12);
  GSCompilerReport(&context, false, true, 3, "note %d", 7);
  GSCompilerReportInFile(&context, true, false, "base.gs", 4,
                         "Class %s has not been declared, line %d.", "Foo", 4);
  GSCompilerMessage(&context, "Internal compiler error.");
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{"a.gs(12) : parse error, line 12", "a.gs(3) : note 7",
                                      "base.gs(4) : Class Foo has not been declared, line 4.",
                                      "Internal compiler error."}));
  EXPECT_EQ(context.errorCount, 2u);
  EXPECT_EQ(context.warningCount, 1u);
}

TEST(GSCompilerReport, WithoutLogOnlyCounts) {
  CompileDiagnostics context{"a.gs", nullptr, 0, 0};
  GSCompilerReport(&context, true, false, 1, "x");
  GSCompilerReport(&context, true, false, 2, "y");
  GSCompilerMessage(&context, "z");
  EXPECT_EQ(context.errorCount, 2u);
  GSCompilerReport(nullptr, true, false, 1, "ignored");
  GSCompilerMessage(nullptr, "ignored");
}

TEST(GSCompilerReport, LongTextIsCutAt255Characters) {
  GSTest::VectorLog log;
  CompileDiagnostics context{"f.gs", &log, 0, 0};
  const std::string longText(400, 'x');
  GSCompilerMessage(&context, "%s", longText.c_str());
  GSCompilerReport(&context, true, false, 9, "%s", longText.c_str());
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[0], std::string(255, 'x'));
  EXPECT_EQ(log.lines[1], "f.gs(9) : " + std::string(245, 'x'));
  EXPECT_EQ(context.errorCount, 1u);
}

TEST(GSCompilerReport, NullFileNamePrintsAsNull) {
  GSTest::VectorLog log;
  CompileDiagnostics context{nullptr, &log, 0, 0};
  GSCompilerReport(&context, true, false, 1, "x");
  EXPECT_EQ(log.lines, (std::vector<std::string>{"(null)(1) : x"}));
}
