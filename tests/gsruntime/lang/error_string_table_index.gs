// StringTable.SetParam refuses an index outside 0..9, negative ones too.
// root: standard
include "test.gs"
include "teststd.gs"
include "Constructors.gs"

class Main {
  void Run() {
    StringTable table = TestStd.NewStringTable(ConstructorsBase.NewSoup());
    table.SetParam(-1, "x");
  }
};
// expect runtime error: StringTable.SetParam> index (-1) out of range (0..9)
// expect runtime error: Thread Exception: ER_Exception, line 10
