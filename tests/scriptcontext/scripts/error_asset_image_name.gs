// An image name that would leave the asset's folder is refused before the
// daemon is asked for the folder.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", "<kuid2:1:100:2>");
    Asset b = VandruScriptBase.FindAsset(ids.GetNamedTagAsKUID("k"));
    Test.Print((b.LoadImage("missing.png") == null) + "");
    b.LoadImage("../B/x.png");
    Test.Print("not reached");
  }
};
// expect: true
// expect runtime error: Asset.LoadImage> '../b/x.png' is not a file of the asset's folder
// expect request count: 0x1E 1
