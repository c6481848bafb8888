// Reading the run path of an ELF file: the folders of a sound file, DT_RPATH
// where DT_RUNPATH is absent, and an empty list for every damaged file.
#include "foundation/layout/ProgramRunPath.h"

#include <elf.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

using Folders = std::vector<std::string>;

// A small 64-bit ELF file: one loaded segment that maps the whole file at
// kBase, a dynamic section and a string table holding a run path and an
// rpath.
constexpr uint64_t kBase = 0x1000;
constexpr uint64_t kDynamicAt = sizeof(Elf64_Ehdr) + 2 * sizeof(Elf64_Phdr);
constexpr uint64_t kStringsAt = kDynamicAt + 5 * sizeof(Elf64_Dyn);
constexpr char kStrings[] = "\0/a:/b::/c\0/rpath";  // run path at 1, rpath at 11

struct Image {
  Elf64_Ehdr header{};
  Elf64_Phdr load{};
  Elf64_Phdr dynamic{};
  Elf64_Dyn entries[5]{};

  Image() {
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_phoff = sizeof(Elf64_Ehdr);
    header.e_phentsize = sizeof(Elf64_Phdr);
    header.e_phnum = 2;
    load.p_type = PT_LOAD;
    load.p_vaddr = kBase;
    load.p_filesz = kStringsAt + sizeof kStrings;
    dynamic.p_type = PT_DYNAMIC;
    dynamic.p_offset = kDynamicAt;
    dynamic.p_filesz = sizeof entries;
    entries[0] = {DT_STRTAB, {kBase + kStringsAt}};
    entries[1] = {DT_STRSZ, {sizeof kStrings}};
    entries[2] = {DT_RUNPATH, {1}};
    entries[3] = {DT_RPATH, {11}};
    entries[4] = {DT_NULL, {0}};
  }

  std::string Bytes() const {
    std::string bytes(reinterpret_cast<const char*>(this), kStringsAt);
    return bytes + std::string(kStrings, sizeof kStrings);
  }
};

TEST(ProgramRunPath, ReadsTheFoldersAndAnswersNothingForADamagedFile) {
  struct Case {
    const char* what;
    std::function<void(Image&)> damage;
    size_t keep;  // bytes of the file kept (0: all)
    Folders folders;
  };
  const Case cases[] = {
      {"sound", [](Image&) {}, 0, {"/a", "/b", "/c"}},
      {"rpath alone", [](Image& i) { i.entries[2].d_tag = DT_DEBUG; }, 0, {"/rpath"}},
      {"neither", [](Image& i) { i.entries[2].d_tag = i.entries[3].d_tag = DT_DEBUG; }, 0, {}},
      {"cut in the headers", [](Image&) {}, 100, {}},
      {"cut in the strings", [](Image&) {}, kStringsAt + 4, {}},
      {"not ELF", [](Image& i) { i.header.e_ident[1] = 'X'; }, 0, {}},
      {"32-bit", [](Image& i) { i.header.e_ident[EI_CLASS] = ELFCLASS32; }, 0, {}},
      {"no headers", [](Image& i) { i.header.e_phnum = 0; }, 0, {}},
      {"too many headers", [](Image& i) { i.header.e_phnum = 0xFFFF; }, 0, {}},
      {"headers past the end", [](Image& i) { i.header.e_phoff = UINT64_MAX - 8; }, 0, {}},
      {"no string table", [](Image& i) { i.entries[0].d_tag = DT_DEBUG; }, 0, {}},
      {"table outside the segments", [](Image& i) { i.entries[0].d_un.d_ptr = 1; }, 0, {}},
      {"text past the table", [](Image& i) { i.entries[2].d_un.d_val = sizeof kStrings; }, 0, {}},
      {"text without its end", [](Image& i) { i.entries[1].d_un.d_val = 5; }, 0, {}},
      {"dynamic section past the end", [](Image& i) { i.dynamic.p_offset = 1 << 20; }, 0, {}},
      // Offsets that reach the table only by wrapping around.
      {"segment offset wraps",
       [](Image& i) {
         i.load.p_offset = uint64_t(0) - kStringsAt;
         i.entries[0].d_un.d_ptr = kBase + 2 * kStringsAt;
         i.load.p_filesz = 4 * kStringsAt;
       },
       0,
       {}},
      {"text offset wraps",
       [](Image& i) {
         constexpr uint64_t kHalf = uint64_t(1) << 63;
         i.load.p_offset = kHalf;
         i.entries[0].d_un.d_ptr = kBase;
         i.entries[2].d_un.d_val = kHalf + kStringsAt + 1;
         i.entries[1].d_un.d_val = kHalf + kStringsAt + sizeof kStrings;
       },
       0,
       {}},
  };
  VUTest::TempFolder folder("RunPath");
  ASSERT_TRUE(folder.Made());
  for (const Case& c : cases) {
    Image image;
    c.damage(image);
    std::string bytes = image.Bytes();
    if (c.keep != 0) bytes.resize(c.keep);
    EXPECT_EQ(ReadRunPath(folder.Put("file", bytes)), c.folders) << c.what;
  }
  EXPECT_EQ(ReadRunPath(folder.At("absent")), Folders()) << "absent";
  EXPECT_EQ(ReadRunPath(folder.MakeFolder("a folder")), Folders()) << "a folder";
}

}  // namespace
