// Test natives over scriptable objects and libraries, for scripts that run
// in the script context (gsrun --context vandru). Not one of the standard
// libraries.
include "kuid.gs"
include "Library.gs"

static class TestObjects {
  // The source text of an object with no text of its own and no asset.
  public native string Template();
  // Makes an object of the asset with `text` as its own script text and
  // runs its set-up: "<failure flag> <class or none> <temporary files left>".
  public native string RunOwnText(KUID asset, string text);
  // Saves the properties of `from` as its list record and loads them into
  // `to`; the number of bytes saved.
  public native int MoveProperties(Library from, Library to);
};
