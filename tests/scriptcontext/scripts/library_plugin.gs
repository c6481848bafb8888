// Native plug-in calls of libraries: the echo plug-in answers its argument;
// a library without a plug-in, and one whose plug-in name leaves the
// plug-in folder (refused, so none is loaded), print the unknown-function
// line with the library's log name and answer "". A library's online
// object is the one the online classes keep for its asset.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"

class Main {
  string Call(string kuid) {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", kuid);
    Library library = VandruScriptBase.GetLibrary(ids.GetNamedTagAsKUID("k"));
    string[] args = new string[1];
    args[0] = "x";
    return "[" + library.LibraryCallNative("Echo", args, null) + "]";
  }
  void Run() {
    Test.Print(Call("<kuid:1:300>"));
    Test.Print(Call("<kuid:1:301>"));
    Test.Print(Call("<kuid:1:302>"));
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", "<kuid:1:300>");
    Library library = VandruScriptBase.GetLibrary(ids.GetNamedTagAsKUID("k"));
    OnlineAccess online = library.GetOnlineAccess();
    Test.Print("online " + (online != null) + " " + (online == library.GetOnlineAccess()));
  }
};
// expect: [x]
// expect: []
// expect: []
// expect: online true true
// expect stderr: Library.LibraryCall> unknown function 'Echo' was called on object '<kuid:1:301> "Quiet Library"'
// expect stderr: LoadVniPlugin> refused plug-in name '../echo': not a plain file name
// expect stderr: Library.LibraryCall> unknown function 'Echo' was called on object '<kuid:1:302> "Stray Library"'
