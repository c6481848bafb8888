// Floats through the tool's own round trips, end to end on the fixture's
// installation: what printconfig prints installs again, and an archive
// installed over its asset commits, with every float the 32-bit value the
// first configuration held, still a float (not a string).
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/soup/Soup.h"
#include "kiv/PString.h"
#include "tests/cli/ToolFixture.h"
#include "tests/support/TextSoupText.h"

namespace {

constexpr uint32_t kFloatType = 3;

// Floats that "%g" wrote as strings (exponents) or rounded to six digits.
const struct {
  const char* tag;
  const char* text;
} kFloats[] = {
    {"scale", "0.00001"},      {"rotation-speed", "12.345678"}, {"big", "1234567.5"},
    {"tiny", "0.0000001"},     {"huge", "1000000000.5"},        {"known", "2.5"},
    {"precise", "0.30000001"},
};
const char kList[] = "0.00001,12.345678,1234567.5,2.5";

std::string FloatLines() {
  std::string lines;
  for (const auto& f : kFloats) lines += std::string(f.tag) + " " + f.text + "\n";
  return lines + "list " + kList + "\n";
}

// The configuration that printconfig printed between its dump lines.
std::string DumpedConfig(const ToolResult& printed, const std::string& kuid) {
  const std::string start = "+ Start of " + kuid + " dump\n";
  const std::string end = "\n+ End of " + kuid + " dump\n";
  const size_t from = printed.out.find(start);
  const size_t to = printed.out.find(end);
  if (from == std::string::npos || to == std::string::npos || to < from) return std::string();
  return printed.out.substr(from + start.size(), to - from - start.size());
}

// Checks that the installed configuration of `kuid`, as printconfig prints
// it, holds every float of kFloats and the list as the 32 bits of their
// texts.
void ExpectOriginalFloats(const std::string& kuid) {
  const ToolResult printed = ToolFixture::Run({"printconfig", kuid});
  ASSERT_EQ(printed.status, 0) << printed.out << printed.err;
  const Soup config = VUTest::ParsedTextSoup(DumpedConfig(printed, kuid));
  for (const auto& f : kFloats) {
    const Kiv::PString name(f.tag);
    EXPECT_EQ(config.GetNamedTagType(name), kFloatType) << f.tag << "\n" << printed.out;
    EXPECT_EQ(std::bit_cast<uint32_t>(config.GetNamedTagAsFloat(name, -1.0f)),
              std::bit_cast<uint32_t>(std::strtof(f.text, nullptr)))
        << f.tag << "\n"
        << printed.out;
  }
  std::vector<float> list;
  EXPECT_TRUE(config.GetNamedTagAsFloatArray(Kiv::PString("list"), list));
  EXPECT_EQ(list, (std::vector<float>{0.00001f, 12.345678f, 1234567.5f, 2.5f})) << printed.out;
  EXPECT_NE(printed.out.find("\r\nknown                                   2.5\r\n"),
            std::string::npos)
      << printed.out;
}

class FloatRoundTrip : public ToolFixture {};

TEST_F(FloatRoundTrip, PrintedConfigurationInstallsWithTheSameFloats) {
  const std::string kuid = "<kuid:123:760001>";
  ToolResult r = InstallScenery(kuid, FloatLines(), {});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = Run({"printconfig", kuid});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string printed = DumpedConfig(r, kuid);
  ASSERT_FALSE(printed.empty()) << r.out;

  const std::string folder = MakeTempFolder() + "/printed";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(WriteFile(folder + "/config.txt", printed));
  r = Run({"installfrompath", folder});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  ASSERT_EQ(r.out, "+ " + kuid + " : Installed " + kuid + ".\nOK (0 Errors, 0 Warnings)\n");
  ExpectOriginalFloats(kuid);
}

TEST_F(FloatRoundTrip, ArchiveInstalledOverItsAssetCommitsTheSameFloats) {
  const std::string kuid = "<kuid:123:760002>";
  ToolResult r = InstallScenery(kuid, FloatLines(), {});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string archive = MakeTempFolder() + "/floats.cdp";
  r = Run({"createcdp", archive, kuid});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = Run({"installcdp", archive});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = Run({"commit", kuid});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  ASSERT_EQ(r.out, "+ " + kuid + " : The asset was committed.\nOK (0 Errors, 0 Warnings)\n");
  ExpectOriginalFloats(kuid);
}

}  // namespace
