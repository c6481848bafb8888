// CommandHost: the "vadcommandhost" mode, in which the tool serves the
// asset-database daemon as its worker.
//
// VADCommandHost sets the command-host hook, registers (one-way 0x8C),
// then loops while the connection stands and no stop was asked: waits up
// to 50 ms for main-thread work, sends a keep-alive (request 0, outcome
// ignored) every 100th pass, and runs the idle step, which runs the queued
// jobs on this thread one at a time. At the end it clears the hook and
// drains the worker queue (bounded by the tasks still queued).
//
// CommandHostCallback runs one job: u32 id, then
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
// at it once, before it compiles; the checks of the configuration and its
// files run to their end.
// A job whose deadline passed answers one error finding,
// "$tet_validation_time_limit" naming the asset's folder and the bound, and
// result false: its other findings are dropped as incomplete. After every
// validation job the compiler's kept state is released, the spec registry
// emptied and the caches trimmed (below), so nothing of a stopped job stays
// in the host, which then serves the next job; a compile that was stopped
// writes no library. The count n is
// untrusted: it is cut to the KUIDs the payload holds. The validation job
// holds the content set's folder and runs RunValidateAssetTask (cli/
// AssetValidation.h); the texture job holds it and runs
// ConvertTexturesInFolder (render/textures/TextureConversion.h).
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
