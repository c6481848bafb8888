// Fuzzes the script machine's library loading with arbitrary file bytes:
// the file is announced, loaded, checked and linked by a fresh machine
// (its own id answers a dependency on itself, so class, function and
// native links are reached). Every input must be refused or loaded, never
// crash; a loaded library's classes must all be linked.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "kiv/File.h"

namespace {

std::string g_folder;

void RemoveFolder() {
  std::remove((g_folder + "/lib.gsl").c_str());
  ::rmdir(g_folder.c_str());
}

// A folder of this run's own (in memory when /dev/shm exists), removed when
// the run ends.
const std::string& Folder() {
  if (g_folder.empty()) {
    char shm[] = "/dev/shm/fuzz-gsl-XXXXXX";
    char tmp[] = "/tmp/fuzz-gsl-XXXXXX";
    const char* made = mkdtemp(shm);
    if (made == nullptr) made = mkdtemp(tmp);
    if (made == nullptr) std::abort();
    g_folder = made;
    std::atexit(RemoveFolder);
  }
  return g_folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Kiv::PString root = [] {
    Kiv::PString name("fuzzgsl");
    Kiv::File::Subst(name, Folder());
    return name;
  }();
  FILE* file = std::fopen((Folder() + "/lib.gsl").c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  GSMachine machine;
  machine.Init();
  GSRuntime::GSLibraryId id{};
  if (!machine.AddLibrary(root, "", "lib.gsl", &id)) return 0;
  GSRuntime::GSLibrary* library = machine.GetLibrary(id);
  if (library == nullptr) return 0;
  for (const GSRuntime::GSClass& cls : library->Classes())
    for (const GSRuntime::GSMethodEntry& entry : cls.methods)
      if (entry.ref == nullptr || entry.ref->function == nullptr) std::abort();
  return 0;
}
