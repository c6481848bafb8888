// RunDaemon: the daemon's whole life; main() returns its answer.
//
// Start-up:
//   0. SIGPIPE and SIGXFSZ are ignored: a write to a closed peer or past
//      the file-size limit (RLIMIT_FSIZE) fails and is reported like any
//      failed write.
//   1. The installation root is the parent of the folder holding the
//      executable (the real path of /proc/self/exe); DetermineInstallPath
//      sets the roots (fatal, exit status 1, when UserData cannot be
//      written) and CreateUserDataFolders makes the layout. The log goes to
//      standard error and to UserData/"vaddaemon.log" (kept below about
//      1 MiB: a larger one is moved to "vaddaemon.log.old" at start; never
//      written through a link nor to another user's file, OwnLogFile.h).
//   2. Networking starts (NetStartup).
//   3. The daemon takes the store guard of UserData (StoreGuard.h), then
//      opens the database-owner block of UserData/assets.tdx and claims
//      ownership with port 0. While another live process holds the guard
//      the daemon refuses to start: it writes "vaddaemon: another daemon
//      (process N) already serves <index>; not starting." to standard error
//      (without "(process N)" when the guard's holder cannot be found) and
//      answers kExitRefused. Holding the guard, it claims the block whoever
//      it names: an owner that has died (a killed daemon) is replaced, and
//      so is a live one (logged), which serves another UserData (a block
//      copied with the folder) since it does not hold this one's guard.
//      The block opened in the way (a folder, a link, a read-only file) is
//      named in the start record's line. From here the daemon keeps its
//      start record (StartState.h): "starting", then "serving" once it
//      listens, "ending" once its end begins, or "failed" with the line for
//      the user when the start stops (the owner block's file in the way, a
//      module that could not start, say for VADDAEMON_USER_ID or a store
//      that cannot be opened, no listener).
//   4. The modules start in order (DaemonModule.h) and fill the request
//      table.
//   5. The listener opens on 127.0.0.1 at a free port; only then is the
//      port published in the owner block.
//   6. Serving (DaemonServer.h) until the close request, a stop signal
//      (SIGTERM, SIGINT, SIGHUP), the idle time-out (DaemonConfig.h) or
//      the removal of its database (UserDataWatch.h: the asset index no
//      longer the file it opened; logged). An index removed or replaced in
//      the UserData folder it started in ends it as the close request does,
//      finishing the work in hand; UserData itself removed or replaced ends
//      it at once. Owner block files removed or
//      replaced while the index is still its own are made anew (logged),
//      and serving goes on; ones that cannot be made end it as SIGTERM
//      does, and so does a block changed in place (emptied, overwritten,
//      made read-only), which is then let go without a write. A client
//      whose handshake names a database outside this UserData folder (by
//      device and inode) is not served (UserDataWatch::NotItsClient).
// A daemon whose database was removed or replaced, however it ends, stops
// no module (they would work on the new files by name): it releases
// ownership, closes the block (whose names stay, being another's) and
// ends at once, as it does when requests still run after the server's
// wait. Otherwise the modules stop in reverse order, ownership is released
// (owner -1, port 0), the block is closed (its names are removed when no
// other process has it open), networking and the folder layout are
// released; the answer is 0. A failure during start-up undoes what was done
// and answers kExitFailed with a line on standard error.
#pragma once

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;

int RunDaemon();
