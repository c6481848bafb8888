// OwnFile: opening a file that a process names itself in a folder where
// others may plant one (logs, records beside an index in UserData/).
//
// OpenOwnFile(path, flags, mode, &why) opens `path` with `flags` (the
// access mode and O_CREAT, O_APPEND as the caller needs) and O_NOFOLLOW |
// O_NONBLOCK | O_NOCTTY | O_CLOEXEC, creating it with `mode` (less the
// umask) when O_CREAT is given. It never goes through a link and never
// waits for the other end of a pipe. The descriptor is kept only when
// fstat says it is a regular file of this process's user; it is answered
// as it was opened (O_NONBLOCK still set, which a regular file ignores),
// and is the caller's to close.
//
// Anything else at the name is refused: -1, and `*why` says what is there
// ("is a link", "is not a plain file", "belongs to user N, not to this
// user (M)"). Any other failure (nothing there without O_CREAT, no
// permission, a folder opened for writing) answers -1 with errno set and
// `*why` empty.
//
// Threads: any. Nothing throws.
#pragma once

#include <sys/types.h>

#include <string>

int OpenOwnFile(const std::string& path, int flags, mode_t mode, std::string* why);
