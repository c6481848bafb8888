// CommandHost: the "vadcommandhost" mode, in which the tool serves the
// asset-database daemon as its worker.
//
// VADCommandHost starts the host's lifeline (the process ends as soon as
// the daemon's connection does, CommandHostLifeline.h), sets the
// command-host hook, registers (one-way 0x8C),
// then loops while the connection stands and no stop was asked: waits up
// to 50 ms for main-thread work, sends a keep-alive (request 0, outcome
// ignored) every 100th pass, and runs the idle step, which runs the queued
// jobs on this thread one at a time. At the end it clears the hook and
// drains the worker queue (bounded by the tasks still queued).
//
// CommandHostCallback runs one job. It first forgets what earlier jobs
// learnt and cannot know to be still true: the KUIDs they resolved
// (ForgetRememberedSpecAnswers, assetdb/client/FindAssetSpec.h) and the
// script libraries they announced (ForgetAnnouncedLibraries,
// assetdb/client/ScriptLibraryCache.h), so a job's answer is the one a host
// that just started gives, whatever the host served before. The job: u32
// id, then
//   0 validate:  string content set, string folder -> messages, u8 result
//   1 textures:  string content set, string folder -> messages, u32 count
//   2 save:      u32 token, string path, u32 n, n KUIDs -> messages, u32 ok
//   3 install:   u32 token, string path, u32 n, n KUIDs -> messages,
//                u32 count left, those KUIDs
//   other:       logs "unsupported commandID=N", writes nothing.
// A payload that does not read whole writes nothing.
//
// Bounded validation: a validation job runs under a deadline
// (foundation/threads/JobDeadline.h) of 60 s, or of the milliseconds in the
// environment variable VADCOMMANDHOST_VALIDATION_MS (a whole number up to
// 24 hours; anything else keeps 60 s; tests set a small one). The compiler
// polls it and unwinds through its failure paths, and the validation looks
// at it before it compiles; a watchdog thread holds it for every other
// stage, however that stalls. A job that finishes in time answers its
// findings, after which the compiler's kept state is released, the spec
// registry emptied and the caches trimmed (below), and the host serves the
// next job. A job past its deadline answers, at the deadline, one error
// finding, "$tet_validation_time_limit" naming the asset's folder and the
// bound, and result false, sent by the thread that stops it (the watchdog,
// or the job's own once it comes back late); the libraries it added to the
// script cache are removed first (a compile past the deadline writes none).
// Then the host says goodbye to the daemon and ends (whoever runs this job
// in-process ends with it), so that nothing the job did or kept in memory
// changes a later answer; the daemon sends the jobs queued on it to another
// host. The count n is untrusted: it is cut to the KUIDs the payload holds. The validation job
// holds the content set's folder and runs RunValidateAssetTask (cli/
// AssetValidation.h); the texture job holds it and runs
// ConvertTexturesInFolder (render/textures/TextureConversion.h).
//
// Test hooks, read from the environment when the loop starts (whole
// numbers; anything else is ignored):
//   VADCOMMANDHOST_TEST_LINK_PAUSE_MS (up to 600000): a validation that
//     loaded a script library the host had not loaded before pauses that
//     long after checking the scripts, as a slow link would
//     (SetScriptLinkPause, cli/ScriptCompile.h).
//   VADCOMMANDHOST_TEST_LIBRARY_CACHE_LIMIT: the largest library, in bytes,
//     the script cache holds instead of 64 MiB (SetLibraryCacheLimit,
//     assetdb/client/VandruBaseSpec.h).
//   VADCOMMANDHOST_TEST_WATCHDOG_DELAY_MS (up to 600000): the watchdog
//     stops a validation that long after its bound instead of at it, so a
//     job that comes back by itself just past its bound is stopped by its
//     own thread (SetJobDeadlineWatchdogDelay, JobDeadline.h).
//
// Crash handling (foundation/diag/CrashHandlers.h): the loop installs the
// crash handlers with termination not allowed, so SIGINT, SIGTERM and
// SIGHUP only ask the loop to stop (ConsoleCloseRequested), and allows
// termination once it has left the loop. RequestCommandHostStop makes the
// loop end at its next pass.
//
// Log: each job writes its start line before it runs and "complete" once it
// has run, each line reaching the log at once (not held back to be merged
// with the next job's), so the log of a host that died shows the job it
// died in and every job that finished before.
//
// Threads: VADCommandHost and the jobs run on the main thread.
#pragma once

#include <cstdint>

class TStream;

void VADCommandHost();
void CommandHostCallback(TStream& payload, TStream& reply);
void RequestCommandHostStop();
