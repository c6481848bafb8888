// Objects with script text of their own: the text an object without one
// shows, a text that compiles (its Init runs with the object's asset) and
// one that does not (the failure flag stays set); no temporary file is
// left either way. An initialised object given a text of another class
// name is left without an instance and with the failure flag set; given a
// blank text it has no own text and runs its asset's class again; its
// asset's generated text does not become its own.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"
include "testobjects.gs"

class Main {
  void Run() {
    string expected = "include \"Vandru.gs\"\n\ninclude \"gs.gs\"\n\n" +
                      "class CustomObject isclass GameObject\n{\n" +
                      "  public void Init(Asset self)\n  {\n    inherited(self);\n    //...\n  }\n};\n\n";
    Test.Print((TestObjects.SourceText(null) == expected) + "");
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", "<kuid:1:301>");
    KUID asset = ids.GetNamedTagAsKUID("k");
    string good = "include \"Vandru.gs\"\ninclude \"test.gs\"\n" +
                  "class CustomObject isclass VandruGameObject {\n" +
                  "  public void Init(Asset self) { Test.Print(\"init \" + self.GetKUID().GetHTMLString()); }\n};\n";
    Test.Print(TestObjects.RunOwnText(asset, good));
    Test.Print(TestObjects.RunOwnText(asset, "class CustomObject isclass { broken"));
    string other = "include \"Vandru.gs\"\nclass Other isclass VandruGameObject {};\n";
    Test.Print(TestObjects.EditText(asset, good, other));
    Test.Print(TestObjects.EditText(asset, good, " \r\n\t "));
    Test.Print(TestObjects.EditText(asset, "", TestObjects.SourceText(asset)));
  }
};
// expect: true
// expect: init <kuid:1:301>
// expect: 0 CustomObject 0
// expect: 1 none 0
// expect: init <kuid:1:301>
// expect: own 1 none
// expect: init <kuid:1:301>
// expect: none 0 EchoLib
// expect: none 0 EchoLib
