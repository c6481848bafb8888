// A child got from a locked soup is locked: a change through it stops the
// thread and leaves the tree as it was.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Soup s = ConstructorsBase.NewSoup();
    s.GetNamedSoupAdd("child").SetNamedTag("x", 1);
    Soup child = s.GetLockedReference().GetNamedSoup("child");
    child.SetNamedTag("x", 2);
  }
};
// expect runtime error: Soup.SetNamedTag> parent soup is locked
// expect runtime error: Thread Exception: ER_Exception, line 12
