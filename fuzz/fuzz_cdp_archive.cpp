// Fuzzes the ".cdp" archive reader and what runs on a loaded archive: the
// root checks, every entry's accessors, checksum and configuration, and the
// extraction of its files into a scratch folder. Checks that extraction
// never writes outside the folder it was given, and that a loaded archive
// writes back out and loads again.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "assetdb/archive/CDPChecksum.h"
#include "assetdb/archive/CDPEntryConfig.h"
#include "assetdb/archive/CDPExtract.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/File.h"

namespace {

// A scratch folder "<tmp>/root" registered as the file root "fuzz"; only
// "root" may ever appear in <tmp>.
struct Scratch {
  Scratch() {
    char pattern[] = "/tmp/fuzz-cdp-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    base = pattern;
    std::filesystem::create_directories(base + "/root");
    Kiv::File::Subst(root, base + "/root");
  }
  void CheckAndClear() const {
    for (const auto& item : std::filesystem::directory_iterator(base)) {
      if (item.path().filename() != "root") std::abort();
    }
    std::error_code ignored;
    std::filesystem::remove_all(base + "/root", ignored);
    std::filesystem::create_directories(base + "/root");
  }
  std::string base;
  Kiv::PString root{"fuzz"};
};

Scratch* g_scratch = nullptr;

void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(g_scratch->base, ignored);
}

Scratch& GetScratch() {
  if (g_scratch == nullptr) {
    g_scratch = new Scratch;
    std::atexit(RemoveScratch);
  }
  return *g_scratch;
}

bool Read(const uint8_t* bytes, size_t size, Soup& archive) {
  Kiv::DynamicBuffer data;
  if (size != 0) data.Write(bytes, static_cast<uint32_t>(size));
  data.SetPosition(0);
  TBuffer stream(&data, false);
  return CDP::ReadArchive(archive, stream);
}

void Entry(Soup& archive, uint32_t index, const Scratch& scratch) {
  CDPEntry entry = CDP::GetAssetAt(archive, index);
  volatile bool sink = CDP::HasValidKUID(entry.soup);
  sink = CDP::FindAsset(archive, CDP::GetEntryKUID(entry.soup)) >= 0;
  sink = CDP::VerifyDSID(entry.soup);
  CoreRef icon = CDP::GetTagData(entry.soup, CDP::Tag::FolderIcon());
  (void)sink;
  Soup config;
  CDP::EntryToConfig(entry, config);
  Kiv::PString message;
  CDP::ExtractFiles(message, CDP::GetFiles(entry.soup), scratch.root, Kiv::File::Path("asset"),
                    CDP::GetCompression(entry.soup));
  scratch.CheckAndClear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const Scratch& scratch = GetScratch();
  Soup archive;
  if (!Read(data, size, archive)) {
    if (!archive.Empty()) std::abort();
    return 0;
  }
  const uint32_t count = CDP::GetAssetCount(archive);
  for (uint32_t i = 0; i < count && i < 8; ++i) Entry(archive, i, scratch);

  CDP::RebuildTables(archive);
  if (CDP::TablesNeedRebuild(archive)) {
    // Only entries without a KUID can leave the contents table short.
    bool nullKUID = false;
    for (uint32_t i = 0; i < count; ++i) {
      nullKUID = nullKUID || !CDP::HasValidKUID(CDP::GetAssetAt(archive, i).soup);
    }
    if (!nullKUID) std::abort();
  }
  TBuffer out;
  if (!CDP::WriteArchiveToStream(archive, out)) return 0;
  Soup again;
  const Kiv::DynamicBuffer* written = out.GetData();
  if (!Read(written->Data(), written->DataLength(), again)) std::abort();
  if (CDP::GetAssetCount(again) != CDP::GetAssetCount(archive)) std::abort();
  return 0;
}
