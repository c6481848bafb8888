// What an asset tells: its information, configuration, dependencies and
// favourite mark as the daemon holds them; logging through the context; a
// library lookup of a KUID that has no library.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"

class Main {
  KUID Id(string text) {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", text);
    return ids.GetNamedTagAsKUID("k");
  }
  void Run() {
    Asset b = VandruScriptBase.FindAsset(Id("<kuid2:1:100:2>"));
    Test.Print(b.GetLocalisedName() + "|" + b.GetLocalisedDescription() + "|" + b.GetCreatorName() +
               "|" + b.GetCategoryEra() + "|" + b.GetCategoryRegion() + "|" + b.GetInfoURL());
    Test.Print(b.SupportsVandruBuildVersion(3.5) + " " + b.SupportsVandruBuildVersion(3.6) + " " +
               b.IsBuiltIn() + " " + b.IsLocallyModified() + " " + b.IsOnTheFetchery());
    Soup config = b.GetConfigSoup();
    Test.Print(config.GetNamedTag("username") + " " + config.IsLocked() + " " +
               (config == b.GetConfigSoup()));
    KUIDList needs = b.GetDependencyList();
    Test.Print(needs.CountKUIDs() + " " + needs.GetIndexedKUID(0).GetHTMLString() + " " +
               needs.IsLocked());
    Test.Print(b.LookupKUIDTable("OLD").GetHTMLString() + " " +
               b.GetSessionRuleData("Timetable").GetNamedTag("stops") + " " +
               b.GetSessionRuleData("plain").CountTags() + " " +
               (b.GetSessionRuleData("none") == null));
    int i;
    string marks = "";
    for (i = 0; i < 5; i++) {
      b.SetIsFavorite(true);
      marks = marks + b.GetIsFavorite();
      b.SetIsFavorite(false);
      marks = marks + " " + b.GetIsFavorite() + ";";
    }
    Test.Print(marks);
    VandruScriptBase.Log("a line from the script");
    VandruScriptBase.Log("");
    Test.Print((VandruScriptBase.GetLibrary(Id("<kuid:9:9>")) == null) + "");
  }
};
// expect: Bee Loco|A blue locomotive|alice|1950s|Europe|http://example.invalid/bee
// expect: true false false false false
// expect: Bee Loco true false
// expect: 1 <kuid:1:100> true
// expect: <kuid:1:100> 3 0 true
// expect: true false;true false;true false;true false;true false;
// expect: true
// expect stderr: a line from the script
// expect stderr: VandruScriptContext::GetScriptLibrary> unable to find Library <kuid:9:9>
