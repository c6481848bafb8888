// A loop that only counts never ends either: it runs out of the
// instruction budget on its jump back.
class Main {
  void Run() {
    int i = 0;
    for (;;) i++;
  }
};
// expect runtime error: Thread Exception: ER_Timeout, line 6, file error_timeout_counting.gs
