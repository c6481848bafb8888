// Test natives over scriptable objects and libraries, for scripts that run
// in the script context (gsrun --context vandru). Not one of the standard
// libraries.
include "kuid.gs"
include "Library.gs"

static class TestObjects {
  // The source text of an object of the asset (none for null) without
  // text of its own.
  public native string SourceText(KUID asset);
  // Makes an object of the asset with `text` as its own script text and
  // runs its set-up: "<failure flag> <class or none> <temporary files left>".
  public native string RunOwnText(KUID asset, string text);
  // Makes such an object with `first`, then gives it `second`: "<none|own>
  // <failure flag> <class or none>".
  public native string EditText(KUID asset, string first, string second);
  // A new library of the asset loaded with the saved properties of `from`
  // before its set-up completes: "<pending|applied> <colour> <sets>".
  public native string LoadBeforeInit(Library from, KUID asset);
  // Saves the properties of `from` as its list record and loads them into
  // `to`; the number of bytes saved.
  public native int MoveProperties(Library from, Library to);
  // Gives the library the icon id `icon`, then a click for `target`; the
  // answer of its Receive.
  public native int Click(Library library, int icon, int target);
};
