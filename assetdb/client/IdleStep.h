// CollectStringGarbage: the idle step of the command host and of the
// download-service query, and the process clock it keeps.
//
// On its first call it records the time; every call stores the seconds
// elapsed since then in the process clock (read as a double or a float by
// the worker thread and the script natives), then runs pending worker-queue
// tasks that the calling thread may run: one, then more while each call
// ran one, at most as many more as the first call found queued. Interned
// strings need no collection (the string cache frees an entry with its last
// holder), so nothing else is done.
//
// The clock reads 0 before the first call. Thread-safe (the clock is
// atomic); tasks run on the calling thread.
#pragma once

void CollectStringGarbage();
double GetProcessClockSeconds();
float GetProcessClockSecondsFloat();
