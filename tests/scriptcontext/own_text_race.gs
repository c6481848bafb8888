// Run by two processes at once on one root (VandruScriptTest.cpp): each
// compiles twelve own texts of its own, whose Init prints the process's tag.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testobjects.gs"

class Main {
  void Run(string tag) {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", "<kuid:1:301>");
    KUID asset = ids.GetNamedTagAsKUID("k");
    int compiled = 0;
    int i;
    for (i = 0; i < 12; i++) {
      string text = "include \"Vandru.gs\"\ninclude \"test.gs\"\n" +
                    "class CustomObject isclass VandruGameObject {\n" +
                    "  public void Init(Asset self) { Test.Print(\"" + tag + " " + i + "\"); }\n};\n";
      string result = TestObjects.RunOwnText(asset, text);
      if (Str.Find(result, "0 CustomObject", 0) == 0) compiled = compiled + 1;
    }
    Test.Print("compiled " + compiled);
  }
};
