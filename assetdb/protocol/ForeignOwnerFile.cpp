// ForeignOwnerFile (see ForeignOwnerFile.h).
#include "assetdb/protocol/ForeignOwnerFile.h"

#include <pwd.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace {

struct Note {
  std::mutex lock;
  bool met = false;
  bool full = false;  // the disk is full, rather than the file another's
  std::string path;
  std::string what;
  uid_t owner = 0;
};

Note& TheNote() {
  static Note* note = new Note;  // Kept until exit.
  return *note;
}

// "name (uid)" when the system knows the user, else "uid".
std::string UserName(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr) {
    return std::string(found->pw_name) + " (" + std::to_string(uid) + ")";
  }
  return std::to_string(uid);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void Remember(const std::string& path, const char* what, uid_t owner, bool full) {
  Note& note = TheNote();
  std::lock_guard<std::mutex> hold(note.lock);
  note.met = true;
  note.full = full;
  note.path = path;
  note.what = what;
  note.owner = owner;
}

}  // namespace

void NoteForeignOwnerFile(const std::string& path, const char* what, uid_t owner) {
  Remember(path, what, owner, false);
}

void NoteOwnerFileWithoutSpace(const std::string& path, const char* what) {
  Remember(path, what, 0, true);
}

void ClearForeignOwnerFile() {
  Note& note = TheNote();
  std::lock_guard<std::mutex> hold(note.lock);
  note.met = false;
}

std::string ForeignOwnerFileText() {
  Note& note = TheNote();
  std::lock_guard<std::mutex> hold(note.lock);
  if (!note.met) return std::string();
  if (note.full) {
    return "The disk is full: the database " + note.what + " '" + note.path +
           "' cannot be made. Free some space on the disk that holds '" + FolderOf(note.path) +
           "', then try again.";
  }
  return "The database " + note.what + " '" + note.path + "' belongs to user " +
         UserName(note.owner) + ", not to this user (" + std::to_string(::geteuid()) +
         "): remove it, or make '" + FolderOf(note.path) +
         "' a folder of this user's own that no other user can write to.";
}
