// CommandHostLifeline: a command host lives no longer than its daemon's
// connection.
//
// StartCommandHostLifeline, called as the host starts serving (before it
// registers), takes the host lock for the process's life
// (assetdb/protocol/CommandHostLock.h) and sets the client's
// connection-lost hook (VADClient::SetConnectionLostHook): from then on,
// when the daemon's connection ends without this process ending it (the
// daemon ended, was killed, or closed the connection), the hook writes one
// log line and ends the process at once (_exit, status 0), on the client's
// reader thread, whatever job the main thread is in. So a host never goes
// on changing a folder of the store whose daemon has gone (a texture
// conversion renames each source for a while), never answers into a
// connection that no job waits on, and never reconnects to a later daemon
// that did not start it. A host that finds, once the hook is set, that the
// daemon owning the database is not its parent process (the daemon that
// started it went away while it started, and it reached a later one) ends
// the same way. A job cut short so leaves at most what a kill
// would: the next daemon's start gives texture sources their names back
// once this process has ended (the lock tells it).
//
// Threads: the main thread, once.
#pragma once

void StartCommandHostLifeline();
