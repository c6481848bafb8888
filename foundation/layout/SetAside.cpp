// SetAside (see SetAside.h).
#include "foundation/layout/SetAside.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local = {};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

bool RenameNoReplace(const std::string& from, const std::string& to) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

AsideNames::AsideNames(const std::string& path, std::string_view why)
    : base_(path + "." + std::string(why) + "-" + Stamp()) {}

std::string AsideNames::At(int attempt) const {
  return attempt == 1 ? base_ : base_ + "-" + std::to_string(attempt);
}

bool MoveAside(const std::string& path, std::string_view why, std::string* aside,
               std::string* error) {
  const AsideNames names(path, why);
  for (int attempt = 1; attempt <= AsideNames::kMaxAttempts; ++attempt) {
    if (RenameNoReplace(path, names.At(attempt))) {
      *aside = names.At(attempt);
      return true;
    }
    if (errno != EEXIST) {
      *error = "cannot set aside " + path + ": " + std::strerror(errno);
      return false;
    }
  }
  *error = "cannot set aside " + path + ": every name tried is taken";
  return false;
}
