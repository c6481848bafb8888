// Fuzzes the reader of encoded script files (".gse") with arbitrary file
// bytes: loading and decoding must end in a text of exactly the stored
// length or a refusal, never a crash; a decoded text (up to 1 MiB) must
// encode and read back unchanged.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gscompiler/ScriptFile.h"

namespace {

std::string g_folder;

void RemoveFolder() {
  std::remove((g_folder + "/in.gse").c_str());
  std::remove((g_folder + "/out.gse").c_str());
  ::rmdir(g_folder.c_str());
}

// A folder of this run's own, removed when the run ends.
const std::string& Folder() {
  if (g_folder.empty()) {
    char pattern[] = "/tmp/fuzz-gse-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    g_folder = pattern;
    std::atexit(RemoveFolder);
  }
  return g_folder;
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = Folder() + "/in.gse";
  const std::string output = Folder() + "/out.gse";
  WriteBytes(input, data, size);

  ScriptFile file;
  if (!file.Load(nullptr, Kiv::File::Path(input))) return 0;
  if (!file.IsEncoded() || file.GetSize() == 0) std::abort();
  const char* text = file.GetText();
  if (text == nullptr) return 0;
  const uint32_t length = file.GetSize();
  if (length == 0 || length > ScriptFile::kMaxTextSize || file.GetTextSize() != length)
    std::abort();
  // Re-encoding is checked on texts of moderate size only, to keep each
  // run fast.
  if (length > (1u << 20)) return 0;
  const std::string decoded(text, length);

  if (!file.Save(nullptr, Kiv::File::Path(output))) std::abort();
  ScriptFile back;
  if (!back.Load(nullptr, Kiv::File::Path(output))) std::abort();
  const char* again = back.GetText();
  if (again == nullptr || back.GetSize() != length) std::abort();
  if (std::memcmp(again, decoded.data(), length) != 0) std::abort();
  return 0;
}
