// One object per asset in the context: A looked up twice, B, and B's parent
// (A again) are one object, and only the first lookup asks the daemon to
// resolve A; a KUID the daemon knows nothing of gives null, and so does,
// asked of no daemon, one that a request would carry as another asset's.
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
    Asset a = VandruScriptBase.FindAsset(Id("<kuid:1:100>"));
    Asset again = VandruScriptBase.FindAsset(Id("<kuid:1:100>"));
    Asset b = VandruScriptBase.FindAsset(Id("<kuid2:1:100:2>"));
    Test.Print((a == again) + " " + (a == b) + " " + a.GetKUID().GetHTMLString());
    Test.Print((b.GetParent() == a) + " " + (b.FindAsset("old") == b) + " " + (b.FindAsset("self") == a));
    Test.Print((VandruScriptBase.FindAsset(Id("<kuid:7:7>")) == null) + "");
    KUID k = Id("<kuid:5:6>");
    Test.Print((VandruScriptBase.CloneKUID(k) == k) + " " + VandruScriptBase.GetVandruBuild());
    KUID far = b.LookupKUIDTable("far");
    Soup kept = ConstructorsBase.NewSoup();
    kept.SetNamedTag("k", far);
    Test.Print(far.GetHTMLString() + " " + kept.GetNamedTagAsKUID("k").GetHTMLString() + " [" +
               far.GetName() + "] " + (b.FindAsset("far") == null) + " " +
               (VandruScriptBase.FindAsset(Id("<kuid:-16777217:5>")) == null));
  }
};
// expect: true true <kuid2:1:100:2>
// expect: true true true
// expect: true
// expect: true 49938
// expect: <kuid:-16777217:5> <kuid:-16777217:5> [] true true
// expect request count: 0x1A 2
