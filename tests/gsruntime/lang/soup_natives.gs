// Soup natives: names folded to lower case, typed values and defaults,
// indexes, sharing against copying, Clear leaving the parent's child, unique
// names, locks inherited by children and references, and copies of itself.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedTag("Name", "value");
    s.SetNamedTag("Count", 12);
    s.SetNamedTag("Ratio", 0.5);
    s.SetNamedTag("Empty", "");
    s.SetNamedTag("Kuid", s.GetNamedTagAsKUID("none"));
    Test.Print(s.GetNamedTag("name") + " " + s.GetNamedTag("NAME") + " " + s.CountTags());
    Test.Print(s.GetNamedTagAsInt("count") + " " + s.GetNamedTagAsInt("missing") + " " +
               s.GetNamedTagAsInt("missing", 7) + " " + s.GetNamedTagAsFloat("ratio") + " " +
               s.GetNamedTagAsFloat("missing", 1.5) + " [" + s.GetNamedTag("empty") + "]");
    Test.Print(s.GetIndexForNamedTag("Count") + " " + s.GetIndexForNamedTag("missing") + " " +
               s.GetIndexedTagName(0) + " [" + s.GetIndexedTagName(5) + "][" +
               s.GetIndexedTagName(-1) + "] " + s.GetNamedTagAsKUID("kuid").GetHTMLString());
    s.RemoveNamedTag("NAME");
    Test.Print(s.CountTags() + " " + s.GetIndexForNamedTag("count") + " " + s.IsLocked());

    Soup shared = ConstructorsBase.NewSoup();
    s.SetNamedSoup("Child", shared);
    shared.SetNamedTag("x", 1);
    Soup copied = ConstructorsBase.NewSoup();
    copied.Copy(shared);
    shared.SetNamedTag("y", 2);
    copied.SetNamedTag("z", 3);
    Soup child = s.GetNamedSoup("child");
    Test.Print(child.GetNamedTagAsInt("y") + " " + copied.GetNamedTagAsInt("y") + " " +
               child.GetNamedTagAsInt("z") + " " + child.IsLocked());
    child.Clear();
    Test.Print(child.CountTags() + " " + s.GetNamedSoup("child").CountTags());
    Soup added = s.GetNamedSoupAdd("Added");
    added.SetNamedTag("a", 1);
    Test.Print(s.GetNamedSoup("added").GetNamedTagAsInt("a") + " " +
               s.GetNamedSoup("missing").CountTags());

    Soup list = ConstructorsBase.NewSoup();
    list.AddUniqueNamedSoup(ConstructorsBase.NewSoup());
    list.AddUniqueNamedSoup(ConstructorsBase.NewSoup());
    list.AddUniqueNamedSoup(ConstructorsBase.NewSoup());
    Test.Print(list.GetIndexedTagName(0) + list.GetIndexedTagName(1) + list.GetIndexedTagName(2));

    Soup locked = s.GetLockedReference();
    Test.Print(locked.IsLocked() + " " + locked.GetNamedSoup("added").IsLocked() + " " +
               (locked.GetLockedReference() == locked) + " " + locked.GetNamedTagAsInt("count"));
    copied.Copy(locked);
    Test.Print(copied.GetNamedTagAsInt("count") + " " + copied.IsLocked());

    s.Copy(s);
    Test.Print(s.CountTags() + " " + s.GetNamedTagAsInt("count") + " " + locked.CountTags());
    s.SetNamedTag("count", 13);
    Test.Print(s.GetNamedTagAsInt("count") + " " + locked.GetNamedTagAsInt("count"));
    Soup peer = locked.GetNamedSoup("added");
    Soup unlockedPeer = ConstructorsBase.NewSoup();
    unlockedPeer.Copy(peer);
    s.Clear();
    Test.Print(s.CountTags() + " " + locked.CountTags() + " " + unlockedPeer.GetNamedTagAsInt("a"));
  }
};
// expect: value value 5
// expect: 12 0 7 0.500000 1.500000 []
// expect: 1 -1 name [][] <NULL>
// expect: 4 0 false
// expect: 2 0 0 false
// expect: 0 2
// expect: 1 0
// expect: 012
// expect: true true true 12
// expect: 12 false
// expect: 6 12 6
// expect: 13 12
// expect: 0 6 1
