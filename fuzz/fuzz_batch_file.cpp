// Fuzzes the reading of batch files: the input is the file, read line by
// line as "VandruUtil @<file>" reads it, and each line is split into its
// arguments. A delivered line holds at most the longest line allowed and
// its line break; no argument is longer than its line; reading ends.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/BatchFile.h"
#include "kiv/File.h"

namespace {

std::string* g_folder = nullptr;

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(*g_folder, ignored);
}

const std::string& BatchPath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/fuzz-batch-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    g_folder = new std::string(pattern);
    std::atexit(RemoveFolder);
    return *g_folder + "/batch.txt";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string& path = BatchPath();
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  Kiv::File file;
  if (!file.Open(path, Kiv::File::kRead, 0)) std::abort();
  BatchLineReader reader(file);
  // Every line takes at least one byte of the file, and an empty file
  // gives one line.
  size_t lines = 0;
  do {
    if (++lines > size + 1) std::abort();
    std::string line;
    bool fits = true;
    reader.ReadLine(&line, &fits);
    if (!fits) {
      if (!line.empty()) std::abort();
      continue;
    }
    if (line.size() > kMaxBatchLineLength + 2) std::abort();
    for (const std::string& arg : SplitBatchLine(line)) {
      if (arg.size() > line.size()) std::abort();
    }
  } while (!reader.Eof());
  return 0;
}
