#include "foundation/diag/LogFileName.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "foundation/diag/DebugOutput.h"

namespace {

std::mutex g_settings_lock;
LogFileSettings g_settings;

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// Appends `text` to out[*used], keeping room for the terminator.
bool Append(char* out, size_t capacity, size_t* used, const char* text, size_t length) {
  if (*used + length >= capacity) return false;
  for (size_t i = 0; i < length; ++i) out[(*used)++] = text[i];
  out[*used] = '\0';
  return true;
}

size_t Length(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

}  // namespace

void SetLogFileSettings(const LogFileSettings& settings) {
  std::lock_guard<std::mutex> lock(g_settings_lock);
  g_settings = settings;
}

LogFileSettings GetLogFileSettings() {
  std::lock_guard<std::mutex> lock(g_settings_lock);
  return g_settings;
}

bool FileExists(const char* path) {
  return path != nullptr && Exists(path);
}

bool MakeDirectory(const char* path) {
  if (path == nullptr) return false;
  std::string folder(path);
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  struct stat info {};
  if (stat(folder.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    errno = EEXIST;
    return false;
  }
  size_t separator = folder.rfind('/');
  if (separator != std::string::npos && separator > 0) {
    if (!MakeDirectory(folder.substr(0, separator).c_str())) return false;
  }
  if (mkdir(folder.c_str(), 0777) == 0) return true;
  int error = errno;
  if (error == EEXIST && IsFolder(folder)) return true;  // Made by someone else meanwhile.
  DebugPrintf("MakeDirectory> CreateDirectoryW returned err %d", error);
  errno = error;
  return false;
}

bool PrepareLogFileFolder(const char* folder, std::string* out) {
  LogFileSettings settings = GetLogFileSettings();
  std::string text = settings.base_folder;
  std::string part = (folder != nullptr && *folder != '\0') ? folder : settings.default_folder;
  if (!text.empty() && !part.empty() && text.back() != '/' && text.back() != '\\') text += '/';
  text += part;
  std::replace(text.begin(), text.end(), '\\', '/');
  if (!text.empty() && text.back() != '/') text += '/';
  if (text.size() >= kMaxLogFilePath) return false;
  if (!text.empty() && !MakeDirectory(text.c_str())) return false;
  *out = text;
  return true;
}

bool ComposeNumberedPath(char* out, size_t capacity, const char* path, int number) {
  if (capacity == 0) return false;
  out[0] = '\0';
  size_t length = Length(path);
  size_t used = 0;
  if (number < 2) return Append(out, capacity, &used, path, length);
  size_t name_start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (path[i] == '/' || path[i] == '\\') name_start = i + 1;
  }
  size_t dot = length;
  for (size_t i = name_start; i < length; ++i) {
    if (path[i] == '.') dot = i;
  }
  char digits[12];
  size_t count = 0;
  for (unsigned value = static_cast<unsigned>(number); value != 0; value /= 10) {
    digits[count++] = static_cast<char>('0' + value % 10);
  }
  if (!Append(out, capacity, &used, path, dot) || !Append(out, capacity, &used, "_", 1))
    return false;
  while (count > 0) {
    if (!Append(out, capacity, &used, &digits[--count], 1)) return false;
  }
  return Append(out, capacity, &used, path + dot, length - dot);
}

bool OpenLogFile(const char* folder, const char* name, std::string* out) {
  if (name == nullptr || out == nullptr) return false;
  std::string path;
  if (!PrepareLogFileFolder(folder, &path)) return false;
  path += name;
  if (path.size() >= kMaxLogFilePath) return false;
  if (GetLogFileSettings().replace_existing) {
    unlink(path.c_str());
    *out = path;
    return true;
  }
  char candidate[kMaxLogFilePath + 16];
  for (int number = 1; number <= kMaxLogFileNumber; ++number) {
    if (!ComposeNumberedPath(candidate, sizeof(candidate), path.c_str(), number)) return false;
    if (Exists(candidate)) continue;
    *out = candidate;
    return true;
  }
  return false;
}
