// IndexAside (see IndexAside.h).
#include "vaddaemon/IndexAside.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kJournalSuffix = "-journal";

bool Exists(const std::string& path) {
  struct stat info = {};
  return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

std::string Failure(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool SetIndexAside(const std::string& index, std::vector<std::string>* moved, std::string* error) {
  const std::string journal = index + kJournalSuffix;
  const bool hasJournal = Exists(journal);
  const AsideNames names(index, "damaged");
  for (int attempt = 1; attempt <= AsideNames::kMaxAttempts; ++attempt) {
    const std::string aside = names.At(attempt);
    const std::string asideJournal = aside + kJournalSuffix;
    // A name taken by anything, a journal of an earlier set-aside included.
    if (Exists(aside) || Exists(asideJournal)) continue;
    if (hasJournal && !RenameNoReplace(journal, asideJournal)) {
      if (errno == EEXIST) continue;
      *error = Failure("cannot move aside the journal", journal);
      return false;
    }
    if (!RenameNoReplace(index, aside)) {
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
