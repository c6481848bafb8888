// StringTable natives: keys found in any case, one-pass parameter
// substitution ("$$", "$0".."$9", other "$" kept), parameters cleared, the
// last index accepted, and the language without an interface text.
// root: standard
include "test.gs"
include "teststd.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Soup config = ConstructorsBase.NewSoup();
    Soup texts = config.GetNamedSoupAdd("string-table");
    texts.SetNamedTag("dollars", "$0$$");
    texts.SetNamedTag("nested", "$1");
    texts.SetNamedTag("edges", "a$x $");
    texts.SetNamedTag("last", "[$9]");
    StringTable table = TestStd.NewStringTable(config);
    table.SetParam(0, "5");
    table.SetParam(1, "$2");
    table.SetParam(2, "two");
    table.SetParam(9, "nine");
    Test.Print(table.GetString("DOLLARS") + " " + table.GetString("nested") + " " +
               table.GetString("edges") + " " + table.GetString("last"));
    table.SetParam(9, null);
    Test.Print(table.GetString("last") + " [" + table.GetString("") + "][" +
               table.GetString(null) + "]");
    table.ClearParams();
    Test.Print(table.GetString("dollars") + " " + table.GetLanguage());
  }
};
// expect: 5$ $2 a$x $ [nine]
// expect: [] [][]
// expect: $ english
