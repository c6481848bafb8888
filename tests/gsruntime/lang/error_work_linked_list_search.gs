// Adding to a linked list only when no element equals the entry searches
// the whole list, and the search costs budget by the elements it looks at.
include "test.gs"
include "gs.gs"

class Main {
  void Run() {
    LinkedList helper = new LinkedList();
    LinkedData[] list = new LinkedData[0];
    int i;
    for (i = 0; i < 100000; i++) {
      LinkedData d = new LinkedData();
      d.key = "k";
      d.value = i;
      helper.AddInternal(list, d, false);
    }
    LinkedData last = new LinkedData();
    last.key = "k";
    last.value = 99999;
    helper.AddInternal(list, last, true);
    Test.Print("size " + list.size());
    for (i = 0; i < 2000; i++) helper.AddInternal(list, last, true);
    Test.Print("not reached");
  }
};
// expect: size 100000
// expect runtime error: Thread Exception: ER_Timeout, line 22, file error_work_linked_list_search.gs
