// A soup put inside one of its own descendants is refused: no cycle.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Soup s = ConstructorsBase.NewSoup();
    Soup grandchild = s.GetNamedSoupAdd("a").GetNamedSoupAdd("b");
    grandchild.SetNamedSoup("up", s);
  }
};
// expect runtime error: Soup.SetNamedSoup> a soup cannot contain itself
// expect runtime error: Thread Exception: ER_Exception, line 10
