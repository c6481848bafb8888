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

TEST(BatchLine, SplitsWordsQuotesAndEmptyArgumentsAndCutsAtTheFirstLineBreak) {
  const struct {
    const char* line;
    Args args;
  } cases[] = {
      {"version\n", {"version"}},
      {"installcdp \"/tmp/my folder/a.cdp\"\r\n", {"installcdp", "/tmp/my folder/a.cdp"}},
      {"echo  x", {"echo", "", "x"}},
      {" echo x", {"echo", "x"}},
      {"\"\" x", {"", "x"}},
      // Bytes before an opening or after a closing quote are in no argument.
      {"echo ab\"c d\"ef g", {"echo", "c d", "g"}},
      {"echo \"unclosed rest", {"echo"}},
      {"\n", {"\n"}},
      {"\r\n", {"\r"}},
      {"", {""}},
      {"a\nb c", {"a"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitBatchLine(c.line), c.args) << c.line;
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
  EXPECT_EQ(lines, (Args{fitting + "\r\n", "", "next\n", "", "last\r"}));
  EXPECT_EQ(fits, (std::vector<bool>{true, false, true, false, true}));
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
