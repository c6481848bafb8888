// A string table's text is bounded after its parameters are put in: a text
// that names a large parameter many times stops the script instead of
// building a text of any size.
// root: standard
include "test.gs"
include "teststd.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Soup config = ConstructorsBase.NewSoup();
    Soup texts = config.GetNamedSoupAdd("string-table");
    string many = "$0";
    int i;
    for (i = 0; i < 5; i++) many = many + many;
    texts.SetNamedTag("few", "$0$0");
    texts.SetNamedTag("many", many);
    string mb = "x";
    for (i = 0; i < 20; i++) mb = mb + mb;
    StringTable table = TestStd.NewStringTable(config);
    table.SetParam(0, mb);
    Test.Print("few " + table.GetString("few").size());
    table.GetString("many");
    Test.Print("not reached");
  }
};
// expect: few 2097152
// expect runtime error: StringTable.GetString> text too long
