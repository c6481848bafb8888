// Calls in a loop without end run out of the instruction budget as any
// loop does, at the same instruction however the call is made.
class Main {
  int Step(int n) { return n + 1; }
  void Run() {
    int i = 0;
    for (;;) i = Step(i);
  }
};
// expect runtime error: Thread Exception: ER_Timeout, line 7, file error_call_timeout.gs
