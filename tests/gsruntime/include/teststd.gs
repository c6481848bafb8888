// Test natives over the standard script libraries, for scripts that run
// with them ("// root: standard"). Not one of the standard libraries.
include "Soup.gs"
include "StringTable.gs"

static class TestStd {
  // A string table over a configuration soup, as an asset's would be.
  public native StringTable NewStringTable(Soup config);
};
