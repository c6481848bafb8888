// ProgramClock: the program's running time in seconds, counted from the
// first reading, for the packet timers and the online flood accounting.
//
// Seconds() answers the monotonic time since the first call of this process
// (the first call answers 0). Tests freeze the clock with SetForTests and
// move it with AdvanceForTests, so that timers of minutes run in no time;
// ReleaseForTests returns to the real clock (which then continues from where
// the real time stands, not from the frozen value).
//
// Threads: any; the value is an atomic double.
#pragma once

namespace ProgramClock {

double Seconds();
float SecondsFloat();

void SetForTests(double seconds);
void AdvanceForTests(double seconds);
void ReleaseForTests();

}  // namespace ProgramClock
