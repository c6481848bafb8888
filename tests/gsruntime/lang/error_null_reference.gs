// A method called on null stops the thread.
class Thing {
  public int Get() { return 1; }
};

class Main {
  void Run() {
    Thing t;
    t.Get();
  }
};
// expect runtime error: Thread Exception: ER_NullReference, line 9, file error_null_reference.gs
