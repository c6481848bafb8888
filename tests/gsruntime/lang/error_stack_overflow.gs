// Recursion without end runs out of stack.
class Main {
  int Deep(int n) { return Deep(n + 1) + 1; }
  void Run() { Deep(0); }
};
// expect runtime error: GSStack overflow...
// expect runtime error: function $int@Main::Deep(int)
// expect runtime error: Thread Exception: ER_StackOverflow, line 3, file error_stack_overflow.gs
