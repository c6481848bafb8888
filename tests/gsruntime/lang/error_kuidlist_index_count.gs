// KUIDList.GetIndexedKUID: the last index reads the last KUID; the index
// equal to the count is out of range and stops the thread.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    KUIDList list = ConstructorsBase.NewKUIDList();
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedTag("k", "<kuid2:5:7:3>");
    list.AddKUID(s.GetNamedTagAsKUID("k"));
    list.AddKUID(s.GetNamedTagAsKUID("none"));
    Test.Print(list.GetIndexedKUID(1).GetHTMLString());
    Test.Print(list.GetIndexedKUID(2).GetHTMLString());
  }
};
// expect: <NULL>
// expect runtime error: KUIDList.GetIndexedKUID> index out of range
// expect runtime error: Thread Exception: ER_Exception, line 15
