// Splitting and reading batch-file lines, and the engine options text.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/BatchFile.h"
#include "cli/EngineStartup.h"
#include "kiv/File.h"
#include "kiv/OS.h"
#include "kiv/RenderKernel.h"
#include "tests/support/TempFolder.h"

namespace {

using Args = std::vector<std::string>;

TEST(BatchLine, SplitsWordsQuotesAndEmptyArguments) {
  EXPECT_EQ(SplitBatchLine("version\n"), (Args{"version"}));
  EXPECT_EQ(SplitBatchLine("installcdp \"/tmp/my folder/a.cdp\"\r\n"),
            (Args{"installcdp", "/tmp/my folder/a.cdp"}));
  EXPECT_EQ(SplitBatchLine("echo  x"), (Args{"echo", "", "x"}));
  EXPECT_EQ(SplitBatchLine(" echo x"), (Args{"echo", "x"}));
  EXPECT_EQ(SplitBatchLine("\"\" x"), (Args{"", "x"}));
}

TEST(BatchLine, BytesOutsideQuotesAndUnclosedQuotesAreDropped) {
  // Before an opening quote and after a closing one: in no argument.
  EXPECT_EQ(SplitBatchLine("echo ab\"c d\"ef g"), (Args{"echo", "c d", "g"}));
  EXPECT_EQ(SplitBatchLine("echo \"unclosed rest"), (Args{"echo"}));
}

TEST(BatchLine, LineBreakOnlyAndEmptyLines) {
  EXPECT_EQ(SplitBatchLine("\n"), (Args{"\n"}));
  EXPECT_EQ(SplitBatchLine("\r\n"), (Args{"\r"}));
  EXPECT_EQ(SplitBatchLine(""), (Args{""}));
  // The cut is at the first line break after the first byte.
  EXPECT_EQ(SplitBatchLine("a\nb c"), (Args{"a"}));
}

class BatchReader : public VUTest::TempFolderTest {
 protected:
  std::vector<std::string> ReadAll(const std::string& content, std::vector<bool>* fits) {
    Kiv::File file;
    EXPECT_TRUE(file.Open(Put("batch.txt", content), Kiv::File::kRead));
    BatchLineReader reader(file);
    std::vector<std::string> lines;
    do {
      std::string line;
      bool fit = true;
      reader.ReadLine(&line, &fit);
      lines.push_back(line);
      fits->push_back(fit);
    } while (!reader.Eof() && lines.size() < 100);
    return lines;
  }
};

TEST_F(BatchReader, KeepsLineBreaksAndEndsAtTheLastByte) {
  std::vector<bool> fits;
  EXPECT_EQ(ReadAll("a b\n\nc", &fits), (Args{"a b\n", "\n", "c"}));
  fits.clear();
  EXPECT_EQ(ReadAll("a\r\nb\r\n", &fits), (Args{"a\r\n", "b\r\n"}));
  fits.clear();
  EXPECT_EQ(ReadAll("", &fits), (Args{"\n"}));
}

TEST_F(BatchReader, RefusesALongLineWithoutSplittingIt) {
  std::string fitting(kMaxBatchLineLength, 'x');
  std::string tooLong(kMaxBatchLineLength + 1, 'y');
  // Carriage returns inside a line are text: a run of them is as long as
  // its bytes, and is never kept whole.
  std::string returns(100000, '\r');
  std::vector<bool> fits;
  Args lines = ReadAll(fitting + "\r\n" + tooLong + "\nnext\n" + returns + "\nlast\r", &fits);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], fitting + "\r\n");
  EXPECT_TRUE(fits[0]);
  EXPECT_EQ(lines[1], "");
  EXPECT_FALSE(fits[1]);
  EXPECT_EQ(lines[2], "next\n");
  EXPECT_TRUE(fits[2]);
  EXPECT_EQ(lines[3], "");
  EXPECT_FALSE(fits[3]);
  EXPECT_EQ(lines[4], "last\r");
  EXPECT_TRUE(fits[4]);
}

TEST(EngineOptions, SwitchesChooseRendererAndLog) {
  EXPECT_EQ(EngineOptionsString(false, false), "-render=OpenGL -hidewindow -LogFile=/dev/null ");
  EXPECT_EQ(EngineOptionsString(true, false), "-NullRender -LogFile=/dev/null ");
  EXPECT_EQ(EngineOptionsString(false, true), "-render=OpenGL -hidewindow -LogStdOut ");
}

TEST(EngineOptions, UnknownRendererFailsUntilNullRenderIsGiven) {
  Kiv::OS os("VandruUtil", "-render=Vulkan -LogFile=/dev/null", nullptr, nullptr);
  Kiv::RenderKernel kernel(nullptr, 8.0f);
  EXPECT_FALSE(os.Init());
  EXPECT_FALSE(kernel.Init(&os, nullptr));
  os.GetOptions().ProcessRaw("-NullRender");
  EXPECT_TRUE(os.Init());
  EXPECT_TRUE(kernel.Init(&os, nullptr));
  EXPECT_EQ(os.GetOptions().Get("logfile"), "/dev/null");
  EXPECT_FALSE(kernel.Init(nullptr, nullptr));
}

}  // namespace
