#include "assetdb/archive/CDPArchive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CDPTestSupport.h"
#include "assetdb/archive/CDPBuilder.h"
#include "assetdb/archive/CDPChecksum.h"
#include "assetdb/archive/CDPExtract.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"
#include "tests/support/StreamTestSupport.h"

using namespace cdptest;

namespace {

const KUID kFirst{1000, 1, 0};
const KUID kSecond{1000, 2, 3};
const KUID kOutside{77, 5, 0};

class CDPArchiveTest : public TempRoot {
 protected:
  // Two entries with packed files in nested folders; the first depends on
  // the second and on kOutside.
  Soup BuildArchive() {
    Soup first = MakeEntry(kFirst);
    first.SetNamedTag(N("compression"), std::string_view("LZSS"));
    Soup files;
    AddFile(files, "config.txt", Pack("kind \"scenery\"\nkuid <kuid:1000:1>\n"));
    AddFile(files, "empty.txt", Pack(""));
    Soup art;
    AddFile(art, "big.texture", Pack(std::string(5000, 'q') + "end"));
    AddFile(art, "raw.tga", Pack(std::string("\0\x01\x02\xff\xfe", 5)));
    files.SetNamedSoup(N("art"), art);
    first.SetNamedSoup(N("files"), files);
    Soup deps;
    deps.SetNamedKUID(N("0"), kSecond);
    deps.SetNamedKUID(N("1"), kOutside);
    first.SetNamedSoup(N("kuid-table"), deps);
    CDP::SetDSID(first);

    Soup second = MakeEntry(kSecond, "mesh");
    Soup plain;
    AddFile(plain, "mesh.im", "not packed at all");
    second.SetNamedSoup(N("files"), plain);
    CDP::SetDSID(second);

    Soup archive;
    Kiv::PString message;
    CDP::AddContent(archive, message, first);
    EXPECT_TRUE(message.Empty());
    CDP::AddContent(archive, message, second);
    EXPECT_TRUE(message.Empty());
    return archive;
  }

  std::string Serialise(Soup& archive) {
    TBuffer buffer;
    EXPECT_TRUE(CDP::WriteArchiveToStream(archive, buffer));
    const Kiv::DynamicBuffer* data = buffer.GetData();
    return std::string(reinterpret_cast<const char*>(data->Data()), data->DataLength());
  }

  Kiv::PString Open(const std::string& name, Soup& archive) {
    Kiv::PString message;
    CDP::OpenArchive(archive, message, At(name));
    return message;
  }
};

TEST_F(CDPArchiveTest, WrittenArchiveReadsBackWithItsEntriesTablesAndFiles) {
  Soup archive = BuildArchive();
  Kiv::PString message;
  CDP::WriteArchive(archive, message, At("out.cdp"));
  ASSERT_TRUE(message.Empty()) << message.Str();
  EXPECT_FALSE(Exists("out.tmp"));

  Soup loaded;
  ASSERT_TRUE(Open("out.cdp", loaded).Empty());
  ASSERT_EQ(CDP::GetAssetCount(loaded), 2u);
  EXPECT_EQ(CDP::FindAsset(loaded, kSecond), 1);
  EXPECT_EQ(CDP::FindAsset(loaded, kOutside), -1);
  EXPECT_EQ(Table(loaded, "contents-table"), (std::vector<KUID>{kFirst, kSecond}));
  EXPECT_EQ(Table(loaded, "kuid-table"), (std::vector<KUID>{kOutside}));
  EXPECT_TRUE(Table(loaded, "obsolete-table").empty());
  EXPECT_EQ(loaded.GetNamedTag(N("kind")).Str(), "archive");

  for (uint32_t i = 0; i < 2; ++i) {
    const CDPEntry original = CDP::GetAssetAt(archive, i);
    const CDPEntry entry = CDP::GetAssetAt(loaded, i);
    EXPECT_FALSE(entry.changed);
    EXPECT_EQ(CDP::GetEntryKUID(entry.soup), CDP::GetEntryKUID(original.soup));
    EXPECT_EQ(CDP::GetCompression(entry.soup), CDP::GetCompression(original.soup));
    EXPECT_TRUE(CDP::VerifyDSID(entry.soup));
    EXPECT_EQ(CDP::ChecksumTree(CDP::GetFiles(entry.soup)),
              CDP::ChecksumTree(CDP::GetFiles(original.soup)));
  }
  const Soup art = CDP::GetFiles(CDP::GetAssetAt(loaded, 0).soup).GetNamedSoup(N("art"));
  EXPECT_EQ(Bytes(art.GetNamedTagRawData(N("raw.tga")).get()),
            Pack(std::string("\0\x01\x02\xff\xfe", 5)));
  EXPECT_EQ(Bytes(CDP::GetTagData(CDP::GetAssetAt(loaded, 0).soup, N("dsid")).get()),
            CDP::GetAssetAt(loaded, 0).soup.GetNamedTag(N("dsid")).Str() + std::string(1, '\0'));

  // Extracting the entries read back reproduces the files.
  for (uint32_t i = 0; i < 2; ++i) {
    const Soup entry = CDP::GetAssetAt(loaded, i).soup;
    CDP::ExtractFiles(message, CDP::GetFiles(entry), root_,
                      Kiv::File::Path("asset" + std::to_string(i)), CDP::GetCompression(entry));
    EXPECT_TRUE(message.Empty()) << message.Str();
  }
  EXPECT_EQ(FilesBelow("root"),
            (std::vector<std::string>{"asset0/art/big.texture", "asset0/art/raw.tga",
                                      "asset0/config.txt", "asset0/empty.txt", "asset1/mesh.im"}));
  EXPECT_EQ(Get("root/asset0/config.txt"), "kind \"scenery\"\nkuid <kuid:1000:1>\n");
  EXPECT_EQ(Get("root/asset0/empty.txt"), "");
  EXPECT_EQ(Get("root/asset0/art/big.texture"), std::string(5000, 'q') + "end");
  EXPECT_EQ(Get("root/asset0/art/raw.tga"), std::string("\0\x01\x02\xff\xfe", 5));
  EXPECT_EQ(Get("root/asset1/mesh.im"), "not packed at all");
}

TEST_F(CDPArchiveTest, OpeningChecksKindCountsAndVersion) {
  Soup archive = BuildArchive();
  Kiv::PString message;
  archive.SetNamedTag(N("kind"), std::string_view("ARCHIVE"));
  CDP::WriteArchive(archive, message, At("upper.cdp"));
  Soup loaded;
  EXPECT_TRUE(Open("upper.cdp", loaded).Empty());
  EXPECT_FALSE(loaded.Empty());

  archive.SetNamedInt(N("package-version"), 2);
  CDP::WriteArchive(archive, message, At("newer.cdp"));
  EXPECT_EQ(Open("newer.cdp", loaded).Str(), "This content requires a newer Vandru version");
  EXPECT_TRUE(loaded.Empty());

  archive.SetNamedInt(N("package-version"), 1);
  Soup third = MakeEntry(KUID{1000, 3, 0});
  Soup assets = archive.GetNamedSoup(N("assets"));
  assets.SetNamedSoup(N("<kuid:1000:3>"), third);  // three entries, two listed
  // Saved through the soup file writer, so the tables stay as they are.
  ASSERT_TRUE(Soup::SaveToFile(Kiv::PString(), At("damaged.cdp"), archive));
  EXPECT_EQ(Open("damaged.cdp", loaded).Str(),
            "Content could not be read, as the CDP file is damaged");
  EXPECT_TRUE(loaded.Empty());

  Soup other;
  other.SetNamedTag(N("kind"), std::string_view("scenery"));
  ASSERT_TRUE(Soup::SaveToFile(Kiv::PString(), At("other.cdp"), other));
  EXPECT_EQ(Open("other.cdp", loaded).Str(),
            "Content could not be read, as the file is not a valid CDP");
  EXPECT_EQ(Open("missing.cdp", loaded).Str(),
            "Content could not be read, as the file is not a valid CDP");
  Put("garbage.cdp", "ACS$ this is not a soup");
  EXPECT_EQ(Open("garbage.cdp", loaded).Str(),
            "Content could not be read, as the file is not a valid CDP");
}

TEST_F(CDPArchiveTest, TruncatedArchivesAreRefusedAtEveryLengthAndLoggedWithTheirPlace) {
  Soup archive = BuildArchive();
  const std::string whole = Serialise(archive);
  ASSERT_GT(whole.size(), 100u);
  for (size_t length = 0; length < whole.size(); ++length) {
    Kiv::DynamicBuffer bytes;
    bytes.Write(whole.data(), uint32_t(length));
    bytes.SetPosition(0);
    TBuffer stream(&bytes);
    Soup loaded;
    EXPECT_FALSE(CDP::ReadArchive(loaded, stream)) << length;
    EXPECT_TRUE(loaded.Empty()) << length;
  }
  Put("whole.cdp", whole);
  Soup loaded;
  EXPECT_TRUE(Open("whole.cdp", loaded).Empty());

  // The log names the cut file with the byte at fault.
  const size_t block = whole.size() - 16;
  Put("cut.cdp", whole.substr(0, whole.size() - 1));
  streamtest::LogLines log;
  EXPECT_FALSE(Open("cut.cdp", loaded).Empty());
  EXPECT_TRUE(log.Holds("Soup::LoadFromFile> " + At("cut.cdp") +
                        ": byte 12: bad block size (the block of " + std::to_string(block) +
                        " bytes runs past the end of the stream (" + std::to_string(block - 1) +
                        " bytes follow the header))"));
}

TEST_F(CDPArchiveTest, EmptyEntriesAndArchivesAnswerNothingAndOutOfRangeIsSafe) {
  Soup bare;
  EXPECT_FALSE(CDP::HasValidKUID(bare));
  EXPECT_TRUE(CDP::GetEntryKUID(bare).IsNull());
  Soup archive;
  EXPECT_EQ(CDP::GetAssetCount(archive), 0u);
  EXPECT_TRUE(CDP::GetAssetAt(archive, 0).soup.Empty());
  EXPECT_EQ(CDP::FindAsset(archive, kFirst), -1);
}

}  // namespace
