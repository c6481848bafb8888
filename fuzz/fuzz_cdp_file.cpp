// Fuzzes the file-level checks of ".cdp" archives (CDP::OpenArchive): the
// input is written to a ".cdp" file and opened. An archive that opens has
// its kind, one contents entry per asset and package version 1, and no
// message; one that does not is left empty with a message.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "assetdb/archive/CDPArchive.h"
#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/Soup.h"
#include "kiv/String.h"

namespace {

std::string* g_folder = nullptr;

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(*g_folder, ignored);
}

const std::string& ArchivePath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/fuzz-cdp-file-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    g_folder = new std::string(pattern);
    std::atexit(RemoveFolder);
    return *g_folder + "/input.cdp";
  }();
  return path;
}

uint32_t Children(const Soup& soup) {
  return soup.IsNull() ? 0 : soup.GetChunk()->CountChildren();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string& path = ArchivePath();
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  Soup archive;
  Kiv::PString message;
  CDP::OpenArchive(archive, message, path);
  if (!message.Empty()) {
    if (!archive.Empty()) std::abort();
    return 0;
  }
  if (!Kiv::EqualsIgnoreCase(archive.GetNamedTag(CDP::Tag::Kind()).View(), "archive")) std::abort();
  if (Children(archive.GetNamedSoup(CDP::Tag::ContentsTable())) != CDP::GetAssetCount(archive))
    std::abort();
  if (archive.GetNamedTagAsInt(CDP::Tag::PackageVersion(), 0) != 1) std::abort();
  for (uint32_t i = 0; i < CDP::GetAssetCount(archive) && i < 16; ++i) {
    (void)CDP::GetEntryKUID(CDP::GetAssetAt(archive, i).soup);
  }
  return 0;
}
