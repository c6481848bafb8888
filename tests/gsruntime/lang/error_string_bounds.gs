// A character index past the end stops the thread.
class Main {
  void Run() {
    string s = "ab";
    int c = s[2];
  }
};
// expect runtime error: Thread Exception: ER_StringOutOfBounds, line 5, file error_string_bounds.gs
