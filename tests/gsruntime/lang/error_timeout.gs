// A loop that never ends runs out of the instruction budget.
class Main {
  void Run() {
    for (;;);
  }
};
// expect runtime error: Thread Exception: ER_Timeout, line 4, file error_timeout.gs
