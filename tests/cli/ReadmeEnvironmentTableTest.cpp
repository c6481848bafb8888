// The README's table of environment variables against the code that reads
// them: each variable that production code reads is in the table, and the
// table names no variable that nothing reads.
//
// A variable counts as read when its name is a whole string literal (upper
// case with at least one "_") in a production source file that calls
// getenv, or a literal with one of the tool's own prefixes anywhere in
// production code (a name kept in a constant of another file).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const char* const kPrefixes[] = {"VADDAEMON_", "VADCOMMANDHOST_", "VANDRUUTIL_"};
const char kSection[] = "### Environment variables";

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool LooksLikeVariable(std::string_view text) {
  if (text.empty() || text.front() < 'A' || text.front() > 'Z') return false;
  if (text.find('_') == std::string_view::npos || text.back() == '_') return false;
  return std::all_of(text.begin(), text.end(), IsNameCharacter);
}

bool HasOwnPrefix(std::string_view name) {
  return std::any_of(std::begin(kPrefixes), std::end(kPrefixes),
                     [&](const char* prefix) { return name.starts_with(prefix); });
}

// The variable names among the string literals of `text` (a literal is the
// text between two double quotes on one line; escapes do not matter here).
std::set<std::string> NamesIn(const std::string& text, bool readsEnvironment) {
  std::set<std::string> names;
  for (size_t open = text.find('"'); open != std::string::npos;) {
    const size_t close = text.find_first_of("\"\n", open + 1);
    if (close == std::string::npos) break;
    if (text[close] == '\n') {
      open = text.find('"', close);
      continue;
    }
    const std::string_view literal(text.data() + open + 1, close - open - 1);
    if (LooksLikeVariable(literal) && (readsEnvironment || HasOwnPrefix(literal)))
      names.emplace(literal);
    open = text.find('"', close + 1);
  }
  return names;
}

bool IsProductionSource(const fs::path& path) {
  static const std::set<std::string> kExtensions = {".c", ".cc", ".cpp", ".h", ".l", ".y"};
  return kExtensions.count(path.extension().string()) != 0;
}

// Every variable read by production code, with the first file that reads it.
std::map<std::string, std::string> VariablesTheCodeReads(const fs::path& top) {
  static const std::set<std::string> kNotProduction = {"tests",   "bench", "fuzz", "docs",
                                                       "samples", "data",  "cmake"};
  std::map<std::string, std::string> found;
  for (const fs::directory_entry& folder : fs::directory_iterator(top)) {
    const std::string name = folder.path().filename().string();
    if (!folder.is_directory() || name.starts_with(".") || name.starts_with("build") ||
        kNotProduction.count(name) != 0)
      continue;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder.path())) {
      if (!entry.is_regular_file() || !IsProductionSource(entry.path())) continue;
      const std::string text = Slurp(entry.path());
      const bool readsEnvironment = text.find("getenv") != std::string::npos;
      for (const std::string& variable : NamesIn(text, readsEnvironment))
        found.emplace(variable, fs::relative(entry.path(), top).string());
    }
  }
  return found;
}

// The names in the first column of the README's table of environment
// variables: rows "| `NAME` |" of its section, up to the next heading.
std::set<std::string> VariablesTheReadmeLists(const std::string& readme) {
  std::set<std::string> names;
  const size_t start = readme.find(kSection);
  if (start == std::string::npos) return names;
  std::istringstream lines(readme.substr(start + sizeof kSection - 1));
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("#")) break;
    if (!line.starts_with("| `")) continue;
    const size_t end = line.find('`', 3);
    if (end != std::string::npos) names.insert(line.substr(3, end - 3));
  }
  return names;
}

TEST(ReadmeEnvironmentTable, ListsEveryVariableTheCodeReadsAndNoOther) {
  const fs::path top(VU_SOURCE_DIR);
  const std::set<std::string> listed = VariablesTheReadmeLists(Slurp(top / "README.md"));
  ASSERT_FALSE(listed.empty()) << "README.md has no table under \"" << kSection << "\"";
  const std::map<std::string, std::string> read = VariablesTheCodeReads(top);
  ASSERT_FALSE(read.empty()) << "no variable found in the code: the search is broken";
  for (const auto& [variable, file] : read) {
    EXPECT_TRUE(listed.count(variable) != 0)
        << variable << " is read by " << file << " but missing from the README's table under \""
        << kSection << "\"";
  }
  for (const std::string& variable : listed) {
    EXPECT_TRUE(read.count(variable) != 0) << variable << " is in the README's table under \""
                                           << kSection << "\" but no production code reads it";
  }
}

// The search itself: literals in code that reads the environment count,
// other upper-case literals elsewhere do not, the tool's prefixes always do.
TEST(ReadmeEnvironmentTable, SearchTakesWholeLiteralsOnly) {
  const std::string reading = "getenv(\"MY_VAR\"); f(\"ZX\"); g(\"A_b\"); h(\"X_Y_\"); \"\n\"";
  EXPECT_EQ(NamesIn(reading, true), (std::set<std::string>{"MY_VAR"}));
  const std::string other = "k(\"MY_VAR\"); k(\"VANDRUUTIL_FCY_HOST\"); s(\"VADDAEMON_X is\")";
  EXPECT_EQ(NamesIn(other, false), (std::set<std::string>{"VANDRUUTIL_FCY_HOST"}));
  EXPECT_EQ(VariablesTheReadmeLists("| `A_B` |\n### Environment variables\n\n| variable |\n"
                                    "|---|\n| `C_D` | x |\n## Next\n| `E_F` |\n"),
            (std::set<std::string>{"C_D"}));
}

}  // namespace
