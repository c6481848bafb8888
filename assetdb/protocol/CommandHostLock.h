// CommandHostLock: lets a daemon that starts wait until the command hosts of
// the daemon before it have ended.
//
// Every command host holds the file "vadcommandhost.lock" of the user-data
// folder shared (flock) for its whole life (HoldCommandHostLock): the
// descriptor, close-on-exec, stays open until the process ends, so the hold
// goes however it ends (a kill too). A daemon that starts takes the lock
// exclusively and lets it go at once (WaitUntilNoCommandHost), before
// its store's recovery touches a folder and before it starts a host of its
// own: a host of a killed daemon may still be working in a folder of the
// store (a texture conversion renames the sources for a while), and the
// recovery gives those sources their names back and removes staging
// folders only once no such host is left. Hosts end as soon as their
// daemon's connection ends (cli/CommandHostLifeline.h), so the wait is
// short; it is bounded all the same (a stopped host would hold the lock for
// good): after `waitMs` it logs that hosts still run and answers false, and
// the daemon ends the hosts that still hold it (vaddaemon/CommandHostEnd.h).
// A closing daemon waits the same way for its own hosts, which end as it
// closes their connections, before it lets work go on in a folder where
// one of them was converting textures (TextureConversionJob.h).
//
// The file is opened (created readable and writable by this user only)
// never through a link, and kept only when it is a regular file of this
// user; otherwise nothing is held or waited for, and that is logged.
//
// Threads: any thread. Nothing throws.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kCommandHostLockFile = "vadcommandhost.lock";

// A host: takes the shared hold for the process's life; false when the file
// could not be opened or locked (logged).
bool HoldCommandHostLock(const std::string& userDataPath);

// True once no process holds the lock (or when the file cannot be used),
// false when one still did after `waitMs` (logged).
bool WaitUntilNoCommandHost(const std::string& userDataPath, uint32_t waitMs);
