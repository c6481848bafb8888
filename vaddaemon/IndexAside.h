// IndexAside: setting a file or folder the store cannot use out of the way,
// under a name that says so, never replacing anything.
//
// AsideNames(path, why) are the names `path` may be set aside as:
// "<path>.<why>-<YYYYMMDD-HHMMSS>" (local time, taken when it is made),
// and for attempts 2, 3, ... that name followed by "-2", "-3", ...
// MoveAside renames `path` to the first of those names that is free
// (renameat2 RENAME_NOREPLACE; a link is renamed, never followed): true
// with the new path in `*aside`; false with the reason in `*error` and
// nothing moved.
//
// SetIndexAside renames the index file `index` to
// "<index>.damaged-<YYYYMMDD-HHMMSS>" (as above) and its rollback journal
// ("<index>-journal"), when there is one, to that name followed by
// "-journal", the pair SQLite opens together; a name is free only when
// both are. The journal goes first, so that it never stays beside a new
// index without its own; should the index then not move, the journal is
// moved back. `*moved` receives "<old path> as <new path>" for each file
// moved, the index's first. False, with the reason in `*error` and nothing
// moved, when a file cannot be renamed.
//
// No shared state; nothing throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The names one path is set aside as, all of one time.
class AsideNames {
 public:
  static constexpr int kMaxAttempts = 1000;
  AsideNames(const std::string& path, std::string_view why);
  // The name for `attempt`, 1 to kMaxAttempts.
  std::string At(int attempt) const;

 private:
  std::string base_;
};

bool MoveAside(const std::string& path, std::string_view why, std::string* aside,
               std::string* error);
bool SetIndexAside(const std::string& index, std::vector<std::string>* moved, std::string* error);
