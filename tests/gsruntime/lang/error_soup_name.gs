// Tag names are checked: an empty name stops the thread.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedTag("", 1);
  }
};
// expect runtime error: empty string at parameter 1
// expect runtime error: Thread Exception: ER_Exception, line 9
