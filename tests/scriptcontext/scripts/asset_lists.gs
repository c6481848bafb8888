// Asset lists by kind and category searches send the filters the script
// base builds; a kind without categories asks nothing and warns.
include "test.gs"
include "Vandru.gs"

class Main {
  string Names(Asset[] list) {
    string out = "" + list.size();
    int i;
    for (i = 0; i < list.size(); i++) out = out + " " + list[i].GetLocalisedName();
    return out;
  }
  void Run() {
    Test.Print(Names(VandruScriptBase.GetAssetList("TrainCar")));
    Test.Print(Names(VandruScriptBase.GetAssetList("scenery")));
    Test.Print(Names(VandruScriptBase.GetAssetList("traincar", "elec")));
    KUID[] found = VandruScriptBase.SearchAssets("tr;tv;loc", false);
    Test.Print(found.size() + " " + found[0].GetHTMLString());
  }
};
// expect: 1 Bee Loco
// expect: 0
// expect: 0
// expect: 1 <kuid2:1:100:2>
// expect stderr: World.GetAssetList> warning: found zero assets of type 'scenery'
// expect stderr: World.GetAssetList> warning: found zero assets of type 'traincar'
// expect request: 0x2 all(local, locally-available, locally-enabled, listing-privilege, not all(obsolete), compatible, not all(faulty), category-list=TR;TV)
// expect request: 0x2 all(local, locally-available, locally-enabled, listing-privilege, not all(obsolete), compatible, category-list=TR;TV;#ELEC)
// expect request: 0x2 all(listing-privilege, not all(obsolete), compatible, category-list=TR;TV;LOC)
// expect request count: 0x2 3
