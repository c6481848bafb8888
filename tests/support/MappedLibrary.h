// IsLibraryMapped(name): true when a shared library whose file name holds
// `name` is mapped into this process (read from /proc/self/maps), so a test
// can tell whether a module or a library has been loaded.
#pragma once

#include <fstream>
#include <string>

namespace VUTest {

inline bool IsLibraryMapped(const char* name) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find(name) != std::string::npos) return true;
  }
  return false;
}

}  // namespace VUTest
