// Properties saved from one library and loaded into another that is
// already initialised are handed to its script at once, exactly once;
// loaded before initialisation, they wait for it and are handed over once.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testobjects.gs"

class Main {
  Library Lib(string text) {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", text);
    return VandruScriptBase.GetLibrary(ids.GetNamedTagAsKUID("k"));
  }
  void Run() {
    Library from = Lib("<kuid:1:300>");
    Library to = Lib("<kuid:1:301>");
    from.GetProperties().SetNamedTag("colour", "blue");
    Test.Print((TestObjects.MoveProperties(from, to) > 0) + "");
    Soup moved = to.GetProperties();
    Test.Print(moved.GetNamedTag("colour") + " " + moved.GetNamedTagAsInt("sets", 0));
    Test.Print(Lib("<kuid:1:301>").GetProperties().GetNamedTagAsInt("sets", 0) + "");
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", "<kuid:1:302>");
    Test.Print(TestObjects.LoadBeforeInit(from, ids.GetNamedTagAsKUID("k")));
  }
};
// expect: true
// expect: blue 1
// expect: 1
// expect: pending blue 1
