// "importconsists" end to end: consist lists written here are imported into
// the fixture's root, and the created assets are looked up with
// "searchbycategory" and "printconfig".
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/ToolFixture.h"

namespace {

constexpr int kFailedStatus = 255;  // -1 as an exit status

// Two trains and one without a car list (passed over). The first repeats a
// car KUID; the second has a car without "num-%d" and "dir-%d", and one
// beyond the user ids that a KUID tag keeps.
constexpr const char* kConsistList =
    "train-0\n{\n  name \"Import Alpha Express\"\n  list\n  {\n"
    "    car-0 <kuid:900:2>\n    num-0 7\n    dir-0 1\n"
    "    car-1 <kuid:900:1>\n    num-1 8\n    dir-1 0\n"
    "    car-2 <kuid:900:2>\n    num-2 9\n    dir-2 1\n  }\n}\n"
    "train-1\n{\n  name \"Import No Cars\"\n}\n"
    "train-2\n{\n  name \"Import Beta Local\"\n  list\n  {\n    car-0 <kuid:901:5>\n"
    "    car-1 <kuid:-16777217:5>\n  }\n}\n";

class ImportConsistsTest : public ToolFixture {
 protected:
  // The KUID texts that "searchbycategory CN" lists.
  static std::vector<std::string> Consists() {
    const ToolResult r = Run({"searchbycategory", "CN"});
    std::vector<std::string> kuids;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      const size_t at = line.find(" : <");
      if (line.rfind("+ #", 0) == 0 && at != std::string::npos)
        kuids.push_back(line.substr(at + 3));
    }
    return kuids;
  }

  // The configurations (printconfig output) of the consists whose text
  // holds `name`.
  static std::vector<std::string> ConfigsNamed(const std::string& name) {
    std::vector<std::string> configs;
    for (const std::string& kuid : Consists()) {
      const std::string out = Run({"printconfig", kuid}).out;
      if (out.find(name) != std::string::npos) configs.push_back(out);
    }
    return configs;
  }
};

// Each train with a car list becomes one consist, whose kuid-table holds
// each car KUID once in order; a second run creates nothing new.
TEST_F(ImportConsistsTest, ImportCreatesOneConsistPerTrainOnceWithEachCarKUIDOnce) {
  const std::string scratch = MakeTempFolder();
  ASSERT_TRUE(WriteFile(scratch + "/Trains.txt", kConsistList));
  // A relative name is taken from the directory the tool was started in.
  ASSERT_EQ(Run({"importconsists", "Trains.txt"}, scratch).status, 0);
  ASSERT_EQ(Run({"importconsists", scratch + "/Trains.txt"}).status, 0);
  EXPECT_TRUE(ConfigsNamed("Import No Cars").empty());
  const std::vector<std::string> beta = ConfigsNamed("Import Beta Local");
  ASSERT_EQ(beta.size(), 1u);
  EXPECT_NE(beta[0].find("car-num"), std::string::npos) << beta[0];
  EXPECT_NE(beta[0].find("<kuid:-16777217:5>"), std::string::npos) << beta[0];

  const std::vector<std::string> alpha = ConfigsNamed("Import Alpha Express");
  ASSERT_EQ(alpha.size(), 1u);
  const std::string& config = alpha[0];
  EXPECT_NE(config.find("car-2"), std::string::npos) << config;
  const size_t table = config.find("kuid-table");
  ASSERT_NE(table, std::string::npos) << config;
  const size_t first = config.find("<kuid:900:1>", table);
  const size_t second = config.find("<kuid:900:2>", table);
  ASSERT_NE(second, std::string::npos) << config;
  EXPECT_LT(first, second);
  EXPECT_EQ(config.find("<kuid:900:2>", second + 1), std::string::npos) << config;
}

TEST_F(ImportConsistsTest, MissingOrUnreadableListFailsAndAListWithoutAFirstTrainImportsNothing) {
  EXPECT_EQ(Run({"importconsists"}).status, kFailedStatus);
  const std::string scratch = MakeTempFolder();
  EXPECT_EQ(Run({"importconsists", scratch + "/absent.txt"}).status, kFailedStatus);

  ASSERT_TRUE(WriteFile(scratch + "/late.txt",
                        "train-1\n{\n  name \"Import Late Start\"\n  list\n  {\n"
                        "    car-0 <kuid:902:1>\n  }\n}\n"));
  EXPECT_EQ(Run({"importconsists", scratch + "/late.txt"}).status, 0);
  EXPECT_TRUE(ConfigsNamed("Import Late Start").empty());
}

}  // namespace
