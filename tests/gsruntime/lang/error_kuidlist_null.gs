// KUIDList.HasKUID refuses a null KUID.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    KUIDList list = ConstructorsBase.NewKUIDList();
    Test.Print(list.HasKUID(null));
  }
};
// expect runtime error: null object at parameter 1
// expect runtime error: Thread Exception: ER_Exception, line 9
