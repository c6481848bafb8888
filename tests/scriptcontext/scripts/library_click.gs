// A click on a library's system-menu icon reaches its script as the
// message "Interface" / "ClickSystemButton"; a click for another icon is
// left to the recipient base (answer 1) and reaches nothing.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testobjects.gs"

class Main {
  void Run() {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", "<kuid:1:300>");
    Library library = VandruScriptBase.GetLibrary(ids.GetNamedTagAsKUID("k"));
    Test.Print(TestObjects.Click(library, 7, 7) + " " + TestObjects.Click(library, 7, 8) + " " +
               TestObjects.Click(library, 0, 0));
    Test.Print(library.GetProperties().GetNamedTagAsInt("clicks", 0) + "");
  }
};
// expect: 0 1 1
// expect: 1
