// LinkedList natives: sorting by key in the selection sort's order (not
// stable), appending with and without the uniqueness check, null elements
// skipped.
// root: standard
include "test.gs"
include "gs.gs"

class Main {
  LinkedData Entry(string key, int value) {
    LinkedData d = new LinkedData();
    d.key = key;
    d.value = value;
    return d;
  }
  string Show(LinkedData[] list) {
    string s = "";
    int i;
    for (i = 0; i < list.size(); i++) {
      if (i > 0) s = s + ",";
      if (list[i]) s = s + list[i].key + list[i].value;
      else s = s + "null";
    }
    return s;
  }
  // The order the native must give: a plain selection sort.
  void SelectionSort(LinkedData[] list) {
    int i, j;
    for (i = 0; i < list.size(); i++) {
      int smallest = i;
      for (j = i + 1; j < list.size(); j++)
        if (list[j].key < list[smallest].key) smallest = j;
      if (smallest != i) {
        LinkedData t = list[i];
        list[i] = list[smallest];
        list[smallest] = t;
      }
    }
  }
  void SameOrderAsSelectionSort(LinkedList helper) {
    LinkedData[] a = new LinkedData[0];
    LinkedData[] b = new LinkedData[0];
    int i, seed = 7;
    for (i = 0; i < 300; i++) {
      seed = (seed * 1103515245 + 12345) & 2147483647;
      LinkedData d = Entry("k" + ((seed >> 16) % 23), i);
      a[i] = d;
      b[i] = d;
    }
    helper.SortInternal(a);
    SelectionSort(b);
    for (i = 0; i < 300; i++)
      if (a[i] != b[i]) {
        Test.Print("order differs at " + i);
        return;
      }
    Test.Print("same order as a selection sort");
  }
  void Run() {
    LinkedList helper = new LinkedList();
    LinkedData[] list = new LinkedData[0];
    helper.SortInternal(list);
    helper.AddInternal(list, Entry("b", 1), true);
    helper.AddInternal(list, Entry("a", 1), false);
    helper.AddInternal(list, Entry("c", 1), false);
    helper.AddInternal(list, null, false);
    Test.Print(Show(list));
    helper.SortInternal(list);
    Test.Print(Show(list));
    helper.AddInternal(list, Entry("a", 1), true);
    helper.AddInternal(list, Entry("a", 2), true);
    helper.AddInternal(list, Entry("a", 1), false);
    Test.Print(Show(list));
    LinkedData[] same = new LinkedData[0];
    helper.AddInternal(same, Entry("k", 1), false);
    helper.AddInternal(same, Entry("k", 2), false);
    helper.AddInternal(same, Entry("a", 0), false);
    helper.AddInternal(same, Entry("k", 3), false);
    helper.SortInternal(same);
    Test.Print(Show(same));
    list[1] = null;
    helper.SortInternal(list);
    Test.Print(Show(list));
    SameOrderAsSelectionSort(helper);
  }
};
// expect: b1,a1,c1
// expect: a1,b1,c1
// expect: a1,b1,c1,a2,a1
// expect: a0,k2,k1,k3
// expect: a1,a2,a1,c1,null
// expect: same order as a selection sort
