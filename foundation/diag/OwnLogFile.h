// OwnLogFile: a log file opened for appending where others may plant one.
//
// The logs of the tool, the daemon and the command hosts live in UserData/,
// which another user may be able to write. A link planted there under a
// log's name ("vaddaemon.log -> ~/notes.txt") must not make this process
// append its lines to whatever it names, nor may a file another user made
// there receive them.
//
// OpenOwnLogFile(path, mode) opens `path` for writing at its end, creating
// it with `mode` (less the umask) when missing, never through a link
// (O_NOFOLLOW) and never waiting (a pipe planted there is opened without
// blocking, then refused), as OpenOwnFile (foundation/base/OwnFile.h) does. It keeps the file only when the opened
// descriptor is a regular file that belongs to this process's user, and
// answers its descriptor (close-on-exec, blocking, the caller's). A link, a
// file of another user, or anything but a regular file is refused: -1,
// and the first refusal of each path in the process writes one line to
// standard error, the text RefusedLogText gives, which is also put in
// `*refusal` (when not null) that one time so that the caller can log it
// elsewhere too. A log that cannot be opened for another reason (a missing
// folder, no permission) answers -1 without a word, as before.
//
// Threads: any thread. Nothing throws.
#pragma once

#include <sys/types.h>

#include <string>

int OpenOwnLogFile(const std::string& path, mode_t mode, std::string* refusal = nullptr);

// "The log file '<path>' <why>; nothing is written to it."
std::string RefusedLogText(const std::string& path, const std::string& why);
