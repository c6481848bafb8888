// ForeignOwnerFile: why the database owner block could not be used, told
// to the user.
//
// Should UserData/ be open to other users, another user's owner block or
// lock ("assets.tdx.ipc", "assets.tdx.lock") is never used
// (DatabaseIpc.h), and no daemon can serve this user there until it has
// gone. DatabaseIpc notes each such file as it meets it
// (NoteForeignOwnerFile: the file, what it is, its owner's user id) and
// forgets the note when an Open begins (ClearForeignOwnerFile), so that the
// note always tells about the latest Open.
//
// A block that cannot be given its bytes because the disk that holds
// UserData/ is full stops every tool the same way until space is freed;
// DatabaseIpc notes it too (NoteOwnerFileWithoutSpace), and the text is then
//   The disk is full: the database owner block '<path>' cannot be made.
//   Free some space on the disk that holds '<folder>', then try again.
//
// ForeignOwnerFileText answers, when the latest Open met such a file, the
// line that tells the user, naming the file, its owner (by name when the
// system knows it) and what to do:
//   The database owner block '<path>' belongs to user <name> (<uid>), not
//   to this user (<uid>): remove it, or make '<folder>' a folder of this
//   user's own that no other user can write to.
// ("lock" in place of "owner block" for the lock); "" otherwise.
//
// Threads: any thread (the note is process-wide, under a lock).
#pragma once

#include <sys/types.h>

#include <string>

void NoteForeignOwnerFile(const std::string& path, const char* what, uid_t owner);
void NoteOwnerFileWithoutSpace(const std::string& path, const char* what);
void ClearForeignOwnerFile();
std::string ForeignOwnerFileText();
