// Looking a tag's index up walks the soup's tags, and the walk costs budget
// by the tags it passes.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Soup soup = ConstructorsBase.NewSoup();
    int i;
    for (i = 0; i < 100000; i++) soup.SetNamedTag("t" + i, i);
    Test.Print(soup.GetIndexForNamedTag("t99999") + " " + soup.GetIndexForNamedTag("none"));
    for (i = 0; i < 2000; i++) soup.GetIndexForNamedTag("none");
    Test.Print("not reached");
  }
};
// expect: 99999 -1
// expect runtime error: Thread Exception: ER_Timeout, line 13, file error_work_soup_index.gs
