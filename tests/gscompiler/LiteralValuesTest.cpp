// Constant values, independent of the platform's long, locale and char.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

#include "gscompiler/LiteralValues.h"

using namespace GSCompiler;

TEST(LiteralValues, HexSaturatesAt32BitMaximum) {
  EXPECT_EQ(HexLiteralValue("0x1F"), 31);
  EXPECT_EQ(HexLiteralValue("0X7fffffff"), 2147483647);
  EXPECT_EQ(HexLiteralValue("0x80000000"), 2147483647);
  EXPECT_EQ(HexLiteralValue("0xFFFFFFFF"), 2147483647);
  EXPECT_EQ(HexLiteralValue("0x" + std::string(40, 'f')), 2147483647);
  EXPECT_EQ(HexLiteralValue("0x0000000000000000001"), 1);
}

TEST(LiteralValues, DecimalSaturatesLikeHex) {
  EXPECT_EQ(DecimalLiteralValue("09"), 9);
  EXPECT_EQ(DecimalLiteralValue("2147483647"), 2147483647);
  EXPECT_EQ(DecimalLiteralValue("2147483648"), 2147483647);
  EXPECT_EQ(DecimalLiteralValue("99999999999999999999"), 2147483647);
}

TEST(LiteralValues, FloatsRoundThroughDoubleAndIgnoreTheSuffix) {
  EXPECT_EQ(FloatLiteralValue("1.5f"), 1.5f);
  EXPECT_EQ(FloatLiteralValue("3.f"), 3.0f);
  EXPECT_EQ(FloatLiteralValue(".25"), 0.25f);
  EXPECT_EQ(FloatLiteralValue("0.1"), static_cast<float>(0.1));
  EXPECT_EQ(FloatLiteralValue(std::string(39, '9') + ".0"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(FloatLiteralValue("1" + std::string(400, '0') + ".0"),
            std::numeric_limits<float>::infinity());
  EXPECT_EQ(FloatLiteralValue("0." + std::string(400, '0') + "1"), 0.0f);
  EXPECT_EQ(FloatLiteralValue("340282346638528859811704183484516925440.0"),
            std::numeric_limits<float>::max());
}

TEST(LiteralValues, CharactersAreSigned8BitAfterEscapes) {
  EXPECT_EQ(CharLiteralValue("'a'"), 'a');
  EXPECT_EQ(CharLiteralValue("'ab'"), 'a');
  EXPECT_EQ(CharLiteralValue("L'\\n'"), '\n');
  EXPECT_EQ(CharLiteralValue("'\\0'"), 0);
  EXPECT_EQ(CharLiteralValue("'\\''"), '\'');
  EXPECT_EQ(CharLiteralValue("'\xe9'"), -23);
}

// Builds a German locale (decimal comma) into a scratch folder when the
// machine has the locale sources; true when it is active for LC_NUMERIC.
static bool UseDecimalCommaLocale() {
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) return true;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "gsparse-locale";
  std::filesystem::create_directories(dir);
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", dir.c_str(), 1);
  return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

TEST(LiteralValues, FloatsIgnoreTheCLocale) {
  if (!UseDecimalCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma";
  // The locale is in force: the C library now reads "1.5" as 1.
  EXPECT_EQ(std::strtod("1.5", nullptr), 1.0);
  EXPECT_EQ(FloatLiteralValue("1.5"), 1.5f);
  EXPECT_EQ(FloatLiteralValue(".75f"), 0.75f);
  std::setlocale(LC_NUMERIC, "C");
  unsetenv("LOCPATH");
}
