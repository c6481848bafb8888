// IndexAside (see IndexAside.h).
#include "vaddaemon/IndexAside.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr const char* kJournalSuffix = "-journal";

bool Exists(const std::string& path) {
  struct stat info = {};
  return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

// Renames without replacing; errno set on failure.
bool RenameNew(const std::string& from, const std::string& to) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local = {};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

std::string Failure(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

AsideNames::AsideNames(const std::string& path, std::string_view why)
    : base_(path + "." + std::string(why) + "-" + Stamp()) {}

std::string AsideNames::At(int attempt) const {
  return attempt == 1 ? base_ : base_ + "-" + std::to_string(attempt);
}

bool MoveAside(const std::string& path, std::string_view why, std::string* aside,
               std::string* error) {
  const AsideNames names(path, why);
  for (int attempt = 1; attempt <= AsideNames::kMaxAttempts; ++attempt) {
    if (RenameNew(path, names.At(attempt))) {
      *aside = names.At(attempt);
      return true;
    }
    if (errno != EEXIST) {
      *error = Failure("cannot set aside", path);
      return false;
    }
  }
  *error = "cannot set aside " + path + ": every name tried is taken";
  return false;
}

bool SetIndexAside(const std::string& index, std::vector<std::string>* moved, std::string* error) {
  const std::string journal = index + kJournalSuffix;
  const bool hasJournal = Exists(journal);
  const AsideNames names(index, "damaged");
  for (int attempt = 1; attempt <= AsideNames::kMaxAttempts; ++attempt) {
    const std::string aside = names.At(attempt);
    const std::string asideJournal = aside + kJournalSuffix;
    // A name taken by anything, a journal of an earlier set-aside included.
    if (Exists(aside) || Exists(asideJournal)) continue;
    if (hasJournal && !RenameNew(journal, asideJournal)) {
      if (errno == EEXIST) continue;
      *error = Failure("cannot move aside the journal", journal);
      return false;
    }
    if (!RenameNew(index, aside)) {
      const bool taken = errno == EEXIST;
      *error = Failure("cannot move aside the index", index);
      if (hasJournal) ::rename(asideJournal.c_str(), journal.c_str());
      if (taken) continue;
      return false;
    }
    moved->push_back(index + " as " + aside);
    if (hasJournal) moved->push_back(journal + " as " + asideJournal);
    return true;
  }
  *error = "cannot move aside the index " + index + ": every name tried is taken";
  return false;
}
