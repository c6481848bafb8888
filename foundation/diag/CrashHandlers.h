// Crash reports and console-signal handling of the command host.
//
// InstallCrashHandlers(allow_termination) sets everything up:
//  - handlers for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT, run on an
//    alternate signal stack (one is given to the calling thread when it has
//    none; other threads reach the handler on a stack overflow only when
//    they have one of their own). The handler first passes the signal to the
//    handler that was installed before it (so a fault inside a guarded call
//    ends the process with status 156, foundation/CallGuarded.h, and no
//    report is written; a previous handler that ends the process itself,
//    such as a sanitizer's, wins likewise). When that returns, the handler
//    writes the crash report (CreateMiniDump) and lets the signal take its
//    default course, so the process still dies of it;
//  - an exit step: a process that ends through exit() while the exit report
//    is armed writes a report first (WriteDumpNow);
//  - handlers for SIGINT, SIGTERM and SIGHUP, which stand for the console
//    events Ctrl-C (type 0), close (2) and shut-down (6). Each writes
//    "Console Window event handler called for CtrlType=<type>" to standard
//    output. While termination is not allowed the signal only marks the
//    close request (ConsoleCloseRequested) and the process goes on; the
//    handler never blocks. When it is allowed, the exit report is disarmed
//    and the signal ends the process as by default.
// Calling it again only updates the termination flag and re-arms the exit
// report. DisableConsoleClose does nothing (there is no console window).
// AllowConsoleTermination disarms the exit report and allows termination.
//
// The crash report, a text call stack (foundation/CallStackReport.h), goes
// to "Vandru-49938.dmp" in the default log-file folder (LogFileSettings,
// resolved and created when the handlers are installed; the working
// directory when none is set), or to the first free name "Vandru-49938_2.dmp",
// "_3" ... there, created exclusively so that two crashing processes never
// share a file. Only the first report of a process is written; a report
// that cannot be created is skipped. When a log-file sink is installed and
// the log output lock is free, the sink is made immediate and gets
// "CreateMiniDump: <path>" and the call-stack lines of LogCallStack (to the
// sink only; standard output is left alone in a crash).
//
// Signal safety: choosing the name, writing the report and the console
// handlers use only open/write/close, atomics and the calls named in
// CallStackReport.h. The sink step afterwards allocates and uses stdio: it
// runs only after the report is on disk and only when no other thread
// holds the log output lock, and an alarm (SIGALRM, fatal by default) ends
// the process if it has not finished within 10 seconds, e.g. because the
// crash left the heap's lock taken.
#pragma once

#include <signal.h>

constexpr int kBuildNumber = 49938;

void InstallCrashHandlers(bool allow_termination);
void DisableConsoleClose();
bool ConsoleCloseRequested();
void AllowConsoleTermination();

// Writes the crash report for `signal_number` (0 and null `info`: a report
// asked for without a signal). Safe in a signal handler (see above).
void CreateMiniDump(int signal_number, const siginfo_t* info);
void WriteDumpNow();
