#include "assetdb/archive/CDPExtract.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CDPTestSupport.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

using namespace cdptest;

namespace {

const char* kDamaged = "Failed to decompress data. Content package may be damaged";

class CDPExtractTest : public TempRoot {
 protected:
  Kiv::PString Extract(const Soup& files, const std::string& path, const char* compression = "",
                       CDP::LocalFiles local = CDP::LocalFiles::kRefuse,
                       std::vector<CDP::LeftOutFile>* leftOut = nullptr) {
    Kiv::PString message(std::string_view("not cleared"));
    CDP::ExtractFiles(message, files, root_, Kiv::File::Path(path), N(compression), local, nullptr,
                      leftOut);
    return message;
  }
  Kiv::PString WriteOne(const std::string& bytes, const std::string& path, const char* compression,
                        CDP::LocalFiles local = CDP::LocalFiles::kRefuse) {
    Kiv::PString message;
    CoreRef data = ACSRawDataCore::CreateCopy(bytes.data(), uint32_t(bytes.size()));
    CDP::WriteContentFile(message, data, root_, Kiv::File::Path(path), N(compression), local);
    return message;
  }
  // "filepath" data: root, then path, as length-prefixed strings.
  static std::string LocalReference(const char* root, const std::string& path) {
    TBuffer buffer;
    buffer.WritePString(N(root));
    buffer.WriteString(path);
    const Kiv::DynamicBuffer* data = buffer.GetData();
    return std::string(reinterpret_cast<const char*>(data->Data()), data->DataLength());
  }
};

TEST_F(CDPExtractTest, WritesAcceptedNamesAndNamesWhatItLeavesOut) {
  Soup files;
  AddFile(files, "Track Piece (2).txt", "kept");
  AddFile(files, "program.exe", "skipped: not a content type");
  // The names' own cases are CDPNamesTest's.
  for (const char* name : {".hidden.txt", "../x.txt", "a\\..\\..\\x.txt"}) {
    AddFile(files, name, "must not appear");
  }
  Soup sub;
  AddFile(sub, "inner.tga", "inner");
  AddFile(sub, "inner.sh", "skipped: not a content type");
  files.SetNamedSoup(N("sub"), sub);
  Soup dots;
  AddFile(dots, "escape.txt", "must not appear");
  files.SetNamedSoup(N(".."), dots);
  files.SetNamedSoup(N("..\\.."), dots);
  std::vector<CDP::LeftOutFile> leftOut;
  EXPECT_TRUE(Extract(files, "asset", "", CDP::LocalFiles::kRefuse, &leftOut).Empty());
  EXPECT_EQ(FilesBelow(""), (std::vector<std::string>{"root/asset/Track Piece (2).txt",
                                                      "root/asset/sub/inner.tga"}));
  // In the tree's order, each named as the archive names it.
  std::vector<std::string> said;
  for (const CDP::LeftOutFile& file : leftOut) said.push_back(CDP::LeftOutText(file));
  const std::string out = "' is left out of the install: ";
  const std::string file = out + "its name is not a valid file name.";
  const std::string folder = out + "its name is not a valid folder name.";
  const std::string type = out + "an install writes no file of its type.";
  EXPECT_EQ(said, (std::vector<std::string>{
                      "The file 'program.exe" + type, "The file '.hidden.txt" + file,
                      "The file '../x.txt" + file, "The file 'a\\..\\..\\x.txt" + file,
                      "The file 'sub/inner.sh" + type, "The folder '.." + folder,
                      "The folder '..\\.." + folder}));
  EXPECT_EQ(Get("root/asset/Track Piece (2).txt"), "kept");
}

TEST_F(CDPExtractTest, PathsLeavingTheRootAreRefused) {
  Soup files;
  AddFile(files, "a.txt", "x");
  for (const char* path : {"../outside", "/etc", "..\\outside", "a/../../outside"}) {
    EXPECT_EQ(Extract(files, path).Str(), "Unable to write content files to disk") << path;
    EXPECT_EQ(WriteOne("x", std::string(path) + "/b.txt", "").Str(),
              "Unable to write content files to disk")
        << path;
  }
  EXPECT_EQ(FilesBelow(""), std::vector<std::string>{});
}

TEST_F(CDPExtractTest, UnpacksLZSSAndRefusesDamagedData) {
  const std::string text = "a line that repeats, a line that repeats, a line that repeats";
  EXPECT_TRUE(WriteOne(Pack(text), "f/packed.txt", "LZSS").Empty());
  EXPECT_EQ(Get("root/f/packed.txt"), text);
  EXPECT_TRUE(WriteOne(Pack(text, 3), "f/flags.txt", "LZSS").Empty());
  EXPECT_EQ(Get("root/f/flags.txt"), text);

  // Three bytes: refused before the target is touched.
  EXPECT_EQ(WriteOne("abc", "f/short.txt", "LZSS").Str(), kDamaged);
  // A stored size that disagrees with the stream (the decoder's own
  // refusals are LZSSDecoderTest's).
  std::string wrong = Pack(text);
  wrong[0] = char(wrong[0] + 1);
  EXPECT_EQ(WriteOne(wrong, "f/longer.txt", "LZSS").Str(), kDamaged);
  // A forged size far beyond what the stream could hold is refused
  // without allocating it.
  std::string huge = Pack("abc");
  huge[0] = huge[1] = huge[2] = huge[3] = '\xff';
  EXPECT_EQ(WriteOne(huge, "f/huge.txt", "LZSS").Str(), kDamaged);
  EXPECT_EQ(FilesBelow("root/f"), (std::vector<std::string>{"flags.txt", "packed.txt"}));
}

TEST_F(CDPExtractTest, UnknownCompressionCreatesFoldersButNoFiles) {
  Soup files;
  AddFile(files, "a.txt", "x");
  Soup sub;
  AddFile(sub, "b.txt", "y");
  files.SetNamedSoup(N("sub"), sub);
  EXPECT_EQ(Extract(files, "asset", "zip").Str(), "Unknown compression format.");
  EXPECT_TRUE(std::filesystem::is_directory(At("root/asset/sub")));
  EXPECT_EQ(FilesBelow(""), std::vector<std::string>{});
  EXPECT_EQ(WriteOne("x", "c.txt", "zip").Str(), "Unknown compression format.");
}

TEST_F(CDPExtractTest, AFailureAnywhereLeavesNoFilesAndKeepsOldOnes) {
  Put("root/asset/a.txt", "old content");
  Soup files;
  AddFile(files, "a.txt", Pack("new content"));
  AddFile(files, "b.txt", Pack("another"));
  Soup sub;
  AddFile(sub, "bad.txt", "abc");  // too short for LZSS
  files.SetNamedSoup(N("sub"), sub);
  AddFile(files, "z.txt", Pack("after the failure"));
  EXPECT_EQ(Extract(files, "asset", "LZSS").Str(), kDamaged);
  EXPECT_EQ(FilesBelow("root"), (std::vector<std::string>{"asset/a.txt"}));
  EXPECT_EQ(Get("root/asset/a.txt"), "old content");

  // The last message wins: an unknown tag type after the sub-folder.
  files.SetNamedInt(N("number.txt"), 3);
  EXPECT_EQ(Extract(files, "asset", "LZSS").Str(),
            "Unknown data type encountered. Content package may be damaged");

  files.RemoveNamedTag(N("number.txt"));
  files.RemoveNamedTag(N("sub"));
  EXPECT_TRUE(Extract(files, "asset", "LZSS").Empty());
  EXPECT_EQ(FilesBelow("root"),
            (std::vector<std::string>{"asset/a.txt", "asset/b.txt", "asset/z.txt"}));
  EXPECT_EQ(Get("root/asset/a.txt"), "new content");

  // Folders nested deeper than an archive file can hold.
  Soup deep;
  AddFile(deep, "leaf.txt", "x");
  for (uint32_t i = 0; i < BinarySoup::kMaxDepth + 1; ++i) {
    Soup outer;
    outer.SetNamedSoup(N("d"), deep);
    deep = outer;
  }
  EXPECT_EQ(Extract(deep, "deep").Str(),
            "Unknown data type encountered. Content package may be damaged");
}

TEST_F(CDPExtractTest, LocalFileReferencesNeedTheCallersConsent) {
  Put("secret.txt", "private data");
  const std::string reference = LocalReference("", At("secret.txt"));
  Soup files;
  AddFile(files, "copy.txt", reference);
  EXPECT_EQ(Extract(files, "asset", "filepath").Str(),
            "Local file references are only accepted from the local asset database");
  EXPECT_EQ(FilesBelow("root"), std::vector<std::string>{});

  EXPECT_TRUE(Extract(files, "asset", "filepath", CDP::LocalFiles::kAllow).Empty());
  EXPECT_EQ(Get("root/asset/copy.txt"), "private data");

  // Through a named root; a source path that leaves its root is not copied.
  Put("root/src/part.txt", "part");
  EXPECT_TRUE(WriteOne(LocalReference("cdptest", "src/part.txt"), "dst/part.txt", "filepath",
                       CDP::LocalFiles::kAllow)
                  .Empty());
  EXPECT_EQ(Get("root/dst/part.txt"), "part");
  EXPECT_EQ(WriteOne(LocalReference("cdptest", "../secret.txt"), "dst/s.txt", "filepath",
                     CDP::LocalFiles::kAllow)
                .Str(),
            "Failed to copy local file.");
  EXPECT_EQ(WriteOne("\x05", "dst/t.txt", "filepath", CDP::LocalFiles::kAllow).Str(),
            "Internal error while copying local file.");
  EXPECT_FALSE(Exists("root/dst/s.txt"));
  EXPECT_FALSE(Exists("root/dst/t.txt"));
}

TEST_F(CDPExtractTest, RawFilesAndEmptyFiles) {
  EXPECT_TRUE(WriteOne(std::string("\0bin\xff", 5), "raw.dat", "").Empty());
  EXPECT_EQ(Get("root/raw.dat"), std::string("\0bin\xff", 5));
  Kiv::PString message;
  CDP::WriteContentFile(message, CoreRef(), root_, Kiv::File::Path("none.txt"), Kiv::PString());
  EXPECT_TRUE(message.Empty());
  EXPECT_EQ(Get("root/none.txt"), "");
  // A folder where the file should go: nothing is written.
  std::filesystem::create_directories(At("root/taken.txt"));
  EXPECT_EQ(WriteOne("x", "taken.txt", "").Str(), "Unable to write content files to disk");
  EXPECT_EQ(FilesBelow("root"), (std::vector<std::string>{"none.txt", "raw.dat"}));
}

}  // namespace
