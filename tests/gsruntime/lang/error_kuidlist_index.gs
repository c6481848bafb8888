// KUIDList.GetIndexedKUID checks its index as an unsigned number, so -1
// is out of range and stops the thread.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    KUIDList list = ConstructorsBase.NewKUIDList();
    Soup s = ConstructorsBase.NewSoup();
    list.AddKUID(s.GetNamedTagAsKUID("none"));
    Test.Print(list.GetIndexedKUID(0).GetHTMLString());
    Test.Print(list.GetIndexedKUID(-1).GetHTMLString());
  }
};
// expect: <NULL>
// expect runtime error: KUIDList.GetIndexedKUID> index out of range
// expect runtime error: Thread Exception: ER_Exception, line 13
