// Kiv::File's operations on the file system by path (existence, folders,
// renaming, removal, the working folder).

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kiv/File.h"

namespace Kiv {

namespace {

// stat(2) of `path`; with kAnyCase looked up without regard to case when
// the exact path does not exist.
bool StatAs(const String& path, File::NameCase lookup, struct stat* st) {
  if (lookup == File::NameCase::kExact) return !path.empty() && ::stat(path.c_str(), st) == 0;
  const String found = File::Find::ResolveCase(path);
  return !found.empty() && ::stat(found.c_str(), st) == 0;
}

}  // namespace

bool File::Exists(const String& path, NameCase lookup) {
  if (lookup == NameCase::kAnyCase) return !Find::ResolveCase(path).empty();
  struct stat st;
  return StatAs(path, lookup, &st);
}

bool File::Exists(const PString& root, const String& name) {
  if (root.Empty()) return Exists(name);
  String path;
  return ResolveRooted(root, name, &path) && Exists(path);
}

bool File::IsDirectory(const String& path, NameCase lookup) {
  struct stat st;
  return StatAs(path, lookup, &st) && S_ISDIR(st.st_mode);
}

int64_t File::FileSize(const String& path, NameCase lookup) {
  struct stat st;
  if (!StatAs(path, lookup, &st) || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

bool File::Md(const String& path) {
  if (path.empty()) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  // Create every prefix that ends before a "/"; failures on the way (mostly
  // "exists") are settled by the final check.
  for (size_t slash = path.find('/', 1); slash != String::npos; slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0777);
  }
  ::mkdir(path.c_str(), 0777);
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool File::Rename(const String& from, const String& to) {
  if (from.empty() || to.empty()) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool File::Unlink(const String& path) {
  if (path.empty()) return false;
  return ::unlink(path.c_str()) == 0;
}

String File::GetCwd() {
  String buffer(256, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() >= (size_t(1) << 20)) return String();
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(buffer.find('\0'));
  return buffer;
}

bool File::SetCwd(const String& path) {
  if (path.empty()) return false;
  return ::chdir(path.c_str()) == 0;
}

}  // namespace Kiv
