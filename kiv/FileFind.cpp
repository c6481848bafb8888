// Kiv::File::Find: a sorted, filtered listing of one folder, read whole by
// First() so that later changes to the folder do not disturb the walk.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "kiv/File.h"

namespace Kiv {

struct File::Find::State {
  struct Entry {
    String name;
    bool directory = false;
    uint64_t size = 0;
  };
  String folder;
  std::vector<Entry> entries;
  size_t index = 0;
};

namespace {

const String kNoName;

bool SameLetter(char a, char b) {
  return AsciiToLower(a) == AsciiToLower(b);
}

}  // namespace

File::Find::Find() = default;
File::Find::~Find() = default;

bool File::Find::First(const String& folder, const String& pattern) {
  state_.reset();
  String where = folder.empty() ? String(".") : ResolveCase(folder);
  if (where.empty()) return false;
  DIR* dir = ::opendir(where.c_str());
  if (dir == nullptr) return false;

  auto state = std::make_unique<State>();
  state->folder = folder.empty() ? String() : where;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (!Match(pattern, name)) continue;
    State::Entry item;
    item.name = name;
    // Links are described by what they point to; a dangling one by itself.
    struct stat st;
    if (::fstatat(::dirfd(dir), name, &st, 0) == 0 ||
        ::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      item.directory = S_ISDIR(st.st_mode);
      item.size = item.directory ? 0 : uint64_t(st.st_size);
    }
    state->entries.push_back(std::move(item));
  }
  ::closedir(dir);
  if (state->entries.empty()) return false;
  std::sort(state->entries.begin(), state->entries.end(),
            [](const State::Entry& a, const State::Entry& b) { return a.name < b.name; });
  state_ = std::move(state);
  return true;
}

bool File::Find::Next() {
  if (!state_ || state_->index >= state_->entries.size()) return false;
  ++state_->index;
  return state_->index < state_->entries.size();
}

const String& File::Find::Name() const {
  if (!state_ || state_->index >= state_->entries.size()) return kNoName;
  return state_->entries[state_->index].name;
}

String File::Find::FullPath() const {
  if (!state_ || state_->index >= state_->entries.size()) return String();
  Path path(state_->folder);
  path.AddPath(Name());
  return path.Str();
}

bool File::Find::IsDirectory() const {
  return state_ && state_->index < state_->entries.size() &&
         state_->entries[state_->index].directory;
}

uint64_t File::Find::Size() const {
  if (!state_ || state_->index >= state_->entries.size()) return 0;
  return state_->entries[state_->index].size;
}

bool File::Find::Match(std::string_view pattern, std::string_view name) {
  // "*.*" is the customary way of asking for every name, with a dot or not.
  if (pattern == "*.*") pattern = "*";
  // Greedy matching that backs up to the last "*" on a mismatch: linear in
  // practice, never exponential.
  size_t p = 0;
  size_t n = 0;
  size_t starP = std::string_view::npos;
  size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
      continue;
    }
    if (p < pattern.size() && (pattern[p] == '?' || SameLetter(pattern[p], name[n]))) {
      ++p;
      ++n;
      continue;
    }
    if (starP == std::string_view::npos) return false;
    p = starP + 1;
    n = ++starN;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace Kiv
