// Starting a program, and ending the running instances of an executable.
//
// LaunchProcess(file, parameters, directory, showFlags) starts the executable
// at `file` and answers the new process's id, or 0 when nothing was started
// (a null or empty `file`, a file that is missing or not executable, a
// working directory that cannot be entered, or no resources). Failure is
// never reported as success: the id is answered only after the program has
// been loaded.
//  - `file` is used exactly as given; it is not looked up on the search path,
//    and a relative `file` is found from the working directory of the new
//    process. It is also the new process's argv[0].
//  - `parameters` (null means none) is one command-line string, split into
//    arguments like this, with nothing else rewritten (slashes and
//    backslashes arrive as given):
//      * blanks (spaces, tabs) separate arguments;
//      * a double quote opens or closes a quoted span, in which blanks belong
//        to the argument; the quotes themselves are dropped, so "" alone is
//        an empty argument and a"b c"d is the one argument ab cd;
//      * \" is a double quote inside the argument; every other backslash is
//        kept as it is;
//      * a span left open runs to the end of the string.
//  - `directory` (null or empty: the caller's own) is the new process's
//    working directory.
//  - `showFlags` (2 hidden, else 1 minimised, else shown) has no effect:
//    processes have no windows here. Every program is started detached, in a
//    session of its own, with standard input, output and error on /dev/null,
//    no descriptor of the caller other than those, no blocked signals and
//    every signal at its default action.
// The caller's process is the new one's parent; an ended child stays a
// zombie until it is reaped (TerminateProcessesByName reaps the children it
// meets).
//
// TerminateProcessesByName(executablePath, graceMs) ends every other running
// process whose executable is the file `executablePath`. The path is
// normalised (made absolute, symbolic links resolved) and compared exactly,
// case and all, with the real path of each process's executable
// (/proc/<pid>/exe). Processes whose executable cannot be read (those of
// other users, kernel threads, zombies) are skipped, and the calling process
// is never touched, even when its own executable matches. With a grace of 0
// nothing is done. Otherwise each match, one after another, is watched until
// it has ended or the grace is used up; when it is still running then (or
// its state cannot be had), "Terminating process with ID <pid>" is logged
// and it is killed with SIGKILL. No SIGTERM is sent: the grace is the time
// in which a process (asked by other means, such as the daemon's close
// request) ends by itself, and the kill is the same hard stop as on other
// platforms. After the kill the call waits up to 1000 ms for the process to
// go. Every wait is bounded: about grace + 1000 ms per match. A match that
// is a child of the caller is reaped once it has ended. Each process is
// held by a pidfd while it is watched (ProcessHandle.h), so a process id
// reused by another program is never signalled.
// The call blocks the calling thread; it is safe from any thread.
#pragma once

#include <cstdint>

int LaunchProcess(const char* file, const char* parameters, const char* directory, int showFlags);

void TerminateProcessesByName(const char* executablePath, uint32_t graceMs);
