// CommandHostEnd: a daemon makes sure that no command host is left working
// in its store's folders before it lets other work go on there.
//
// A host ends as soon as its daemon's connection ends (cli/
// CommandHostLifeline.h), but a host that is stopped (SIGSTOP, a debugger)
// or hung notices nothing until it runs again, and may then go on with what
// it was doing: a texture conversion renames a source to its temporary name
// and back. Waiting for it without bound would stop the daemon too; going
// on without it lets it change a folder after the store has put the folder
// right (a source left under its temporary name and then committed).
//
// EndCommandHosts(context, waitMs) waits up to `waitMs` for every host to
// let go of the host lock of the context's UserData (WaitUntilNoCommandHost,
// assetdb/protocol/CommandHostLock.h). The hosts that still hold it then are
// ended: each process of this user that runs the installation's tool
// (<bin>/VandruUtil, whose "vadcommandhost" mode is the host) and has the
// lock file open
// is killed with SIGKILL (which also ends a stopped process) through a pidfd
// taken before it is looked at, so that an id passed on to another program
// is never hit, and waited for (ProcessHandle::EndAfterGrace); each is
// logged. Then the lock is waited for once more, at most kEndedHostsWaitMs.
// Answers true once no host holds the lock.
//
// Only while this process owns the database and its owner block is still
// the one its names give (DatabaseIpc.h): a daemon whose UserData was removed
// and made anew would find the next daemon's hosts under the same names, so
// it neither waits for nor ends anything (answers false).
//
// Called at a daemon's start, before its store's recovery and before it
// starts a host of its own (the hosts of the daemon before it), and by a
// closing daemon before it gives the sources of a conversion cut short
// their names back (its own hosts, whose connections it has closed).
// Threads: any. Nothing throws beyond std::bad_alloc.
#pragma once

#include <cstdint>

class DaemonContext;

inline constexpr uint32_t kEndedHostsWaitMs = 2000;

bool EndCommandHosts(const DaemonContext& context, uint32_t waitMs);
