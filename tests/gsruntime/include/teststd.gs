// Test natives over the standard script libraries, for scripts that run
// with them ("// root: standard"). Not one of the standard libraries.
include "Soup.gs"
include "StringTable.gs"
include "Image.gs"

static class TestStd {
  // A string table over a configuration soup, as an asset's would be.
  public native StringTable NewStringTable(Soup config);
  // The image's pixels as a PNG file, for the tests to read back.
  public native void WritePNG(Image image, string path);
  // How many times the image's pixels changed or may have changed.
  public native int ImageChanges(Image image);
};
