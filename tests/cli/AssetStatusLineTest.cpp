#include <gtest/gtest.h>

#include "assetdb/protocol/AssetRecord.h"
#include "cli/AssetStatus.h"
#include "foundation/text/KUID.h"

namespace {

AssetRecord Record(uint32_t status, const char* category, const char* name) {
  AssetRecord record;
  record.status = status;
  record.category = category;
  record.username = name;
  return record;
}

}  // namespace

TEST(AssetStatusLine, EachFlagLightsItsOwnLetter) {
  const KUID kuid = ParseKUID("<kuid2:7:8:3>", true);
  const struct {
    uint32_t status;
    bool missing;
    bool faulty;
    const char* letters;
  } cases[] = {
      {kAssetOpenForEdit, false, false, "Eiadlmf"},
      {kAssetInstalledLocally, false, false, "eIadlmf"},
      {kAssetArchived, false, false, "eiAdlmf"},
      {kAssetOnDownloadService, false, false, "eiaDlmf"},
      {kAssetLocallyModified, false, false, "eiadLmf"},
      {0, true, false, "eiadlMf"},
      {0, false, true, "eiadlmF"},
      // Bits the line does not show (built in, download-service item, the
      // record's own faulty and missing bits) change no letter.
      {kAssetBuiltIn | kAssetDownloadServiceItem | kAssetFaulty | kAssetMissingDependencies, false,
       false, "eiadlmf"},
      {kAssetOpenForEdit | kAssetInstalledLocally | kAssetArchived | kAssetOnDownloadService |
           kAssetLocallyModified,
       true, true, "EIADLMF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatAssetStatusLine(kuid, Record(c.status, "TC", "Box van"), c.missing, c.faulty),
              std::string("<kuid2:7:8:3> : ") + c.letters + " : TC : Box van")
        << c.letters;
  }
}
