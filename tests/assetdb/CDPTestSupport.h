// Helpers for the archive tests: a scratch folder registered as an engine
// file root, and builders for entries, files and packed data.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/lzss/LZSSEncoder.h"
#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "tests/support/TempFolder.h"

namespace cdptest {

inline Kiv::PString N(std::string_view name) {
  return Kiv::PString(name);
}

inline std::string Bytes(const ACSRawDataCore* core) {
  if (core == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(core->Data()), core->Size());
}

// Adds a byte tag (in-memory type 2) to `folder`.
inline void AddFile(Soup& folder, std::string_view name, std::string_view bytes) {
  folder.Create();
  CoreRef core = ACSRawDataCore::CreateCopy(bytes.data(), uint32_t(bytes.size()));
  ACSChunk* chunk = folder.GetChunk();
  chunk->SetChild(N(name), chunk->CreateChunk(SoupType::kRaw, std::move(core)));
}

// The framed LZSS form of `bytes`: u32 decoded size, then the coded stream.
inline std::string Pack(std::string_view bytes, uint32_t level = 9) {
  std::vector<uint8_t> coded = LZSSEncodeToVector(bytes.data(), bytes.size(), level);
  const uint32_t size = uint32_t(bytes.size());
  std::string out(reinterpret_cast<const char*>(&size), 4);
  out.append(reinterpret_cast<const char*>(coded.data()), coded.size());
  return out;
}

inline Soup MakeEntry(const KUID& kuid, const char* kind = "scenery") {
  Soup entry;
  entry.SetNamedKUID(N("kuid"), kuid);
  entry.SetNamedTag(N("kind"), std::string_view(kind));
  return entry;
}

inline std::vector<KUID> Table(const Soup& soup, const char* name) {
  KUIDList list;
  GetKUIDList(soup.GetNamedSoup(N(name)), list);
  std::vector<KUID> out;
  for (const KUID& kuid : list) out.push_back(kuid);
  return out;
}

// A scratch folder whose "root" sub-folder is the engine file root
// "cdptest".
class TempRoot : public VUTest::TempFolderTest {
 protected:
  void SetUp() override {
    VUTest::TempFolderTest::SetUp();
    Kiv::File::Subst(root_, temp_.MakeFolder("root"));
  }
  void TearDown() override { Kiv::File::Subst(root_, Kiv::String()); }

  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(std::filesystem::symlink_status(At(relative)));
  }
  // Every regular file below `relative`, as paths relative to it, sorted.
  std::vector<std::string> FilesBelow(const std::string& relative) const {
    std::vector<std::string> out;
    std::error_code ignored;
    for (const auto& item : std::filesystem::recursive_directory_iterator(At(relative), ignored)) {
      if (item.is_regular_file())
        out.push_back(std::filesystem::relative(item.path(), At(relative)).string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  const Kiv::PString root_{"cdptest"};
};

}  // namespace cdptest
