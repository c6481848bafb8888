// A name that kuid-table lacks stops the script with the names it has.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", "<kuid2:1:100:2>");
    Asset b = VandruScriptBase.FindAsset(ids.GetNamedTagAsKUID("k"));
    b.LookupKUIDTable("Missing");
  }
};
// expect runtime error: Asset.LookupKUIDTable> unable to find 'missing' in kuid-table
// expect runtime error: Available kuids are: "old" "self"
