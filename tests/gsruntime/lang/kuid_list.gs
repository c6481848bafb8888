// KUID and KUIDList natives: one object per KUID in a context, tag and base
// forms, base identities, unique adds (the version counts), removal,
// membership (as a value and as a condition), indexed reads, copies (of
// itself too) and the null KUID.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  Soup ids;
  KUID Id(string text) {
    ids.SetNamedTag("k", text);
    return ids.GetNamedTagAsKUID("k");
  }
  string Show(KUIDList list) {
    string s = "" + list.CountKUIDs() + ":";
    int i;
    for (i = 0; i < list.CountKUIDs(); i++) s = s + " " + list.GetIndexedKUID(i).GetHTMLString();
    return s;
  }
  void Run() {
    ids = ConstructorsBase.NewSoup();
    KUID a = Id("<kuid2:5:7:3>");
    KUID again = Id("<kuid2:5:7:3>");
    Test.Print((a == again) + " " + (a == Id("<kuid2:5:7:2>")));
    Test.Print(a.GetHTMLString() + " " + a.GetLogString() + " " + a.GetBaseString());
    Test.Print(a.GetBaseKUID().GetHTMLString() + " " + Id("<kuid:-3:7>").GetBaseKUID().GetHTMLString() +
               " " + Id("<kuid:33554432:7>").GetBaseKUID().GetHTMLString());
    Test.Print((a.GetBaseKUID() == Id("<kuid:5:7>")) + " " + ids.GetNamedTagAsKUID("none").GetHTMLString());
    KUIDList list = ConstructorsBase.NewKUIDList();
    Test.Print(list.IsLocked() + " " + Show(list));
    list.AddKUID(a);
    list.AddKUID(again);
    list.AddKUID(Id("<kuid2:5:7:2>"));
    list.AddKUID(Id("<kuid:1:2>"));
    list.AddKUID(ids.GetNamedTagAsKUID("none"));
    Test.Print(Show(list));
    Test.Print(list.HasKUID(Id("<kuid2:5:7:2>")) + " " + list.HasKUID(Id("<kuid2:5:7:9>")) + " " +
               (list.GetIndexedKUID(0) == a));
    list.RemoveKUID(Id("<kuid2:5:7:2>"));
    list.RemoveKUID(Id("<kuid2:9:9:9>"));
    Test.Print(Show(list) + " " + list.HasKUID(Id("<kuid2:5:7:2>")));
    list.AddKUID(Id("<kuid2:5:7:2>"));
    list.Copy(list);
    Test.Print(Show(list));
    KUIDList other = ConstructorsBase.NewKUIDList();
    other.AddKUID(Id("<kuid:8:8>"));
    other.Copy(list);
    list.Clear();
    Test.Print(Show(other) + " / " + Show(list) + " " + other.HasKUID(a));
    int found = 0;
    int j;
    for (j = 0; j < 3; j++)
      if (other.HasKUID(Id("<kuid:" + j + ":2>"))) found++;
    Test.Print("probes " + found);
  }
};
// expect: true false
// expect: <kuid2:5:7:3> <kuid2:5:7:3> <kuid:5:7>
// expect: <kuid:5:7> <kuid:-3:7> <NULL>
// expect: true <NULL>
// expect: false 0:
// expect: 4: <kuid2:5:7:3> <kuid2:5:7:2> <kuid:1:2> <NULL>
// expect: true false true
// expect: 3: <kuid2:5:7:3> <kuid:1:2> <NULL> false
// expect: 4: <kuid2:5:7:3> <kuid:1:2> <NULL> <kuid2:5:7:2>
// expect: 4: <kuid2:5:7:3> <kuid:1:2> <NULL> <kuid2:5:7:2> / 0: true
// expect: probes 1
