// SetAside: moving a file or folder out of a name it stands at, under a
// name that says so, never replacing anything. The asset store and the
// client's install steps both keep what they must not remove this way.
//
// AsideNames(path, why) are the names `path` may be set aside as:
// "<path>.<why>-<YYYYMMDD-HHMMSS>" (local time, taken when it is made),
// and for attempts 2, 3, ... that name followed by "-2", "-3", ...
// MoveAside renames `path` to the first of those names that is free
// (renameat2 RENAME_NOREPLACE; a link is renamed, never followed): true
// with the new path in `*aside`; false with the reason in `*error` and
// nothing moved. A rename is one step: whatever ends the process, `path`
// stands at its old name or at the new one.
//
// kSetAsideWhy is the `why` of everything kept aside that is not the
// store's ("<name>.set-aside-<time>"): no start takes such a name in or
// removes it.
//
// No shared state; nothing throws.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kSetAsideWhy = "set-aside";

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

// Renames without replacing; false with errno set on failure.
bool RenameNoReplace(const std::string& from, const std::string& to);
