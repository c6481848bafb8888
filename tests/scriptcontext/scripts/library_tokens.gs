// Security tokens between library objects: a delegate holding
// "duplicate-token" re-issues only the rights it holds of those asked for,
// a merge holds the entries of both tokens, and an object that is neither
// issuer nor delegate is refused with one log line and gets null.
include "test.gs"
include "Vandru.gs"
include "Constructors.gs"

class Main {
  KUID Id(string text) {
    Soup ids = ConstructorsBase.NewSoup();
    ids.SetNamedTag("k", text);
    return ids.GetNamedTagAsKUID("k");
  }
  Library Lib(string text) { return VandruScriptBase.GetLibrary(Id(text)); }
  void Run() {
    Library a = Lib("<kuid:1:300>");
    Library b = Lib("<kuid:1:301>");
    Library c = Lib("<kuid:1:302>");
    string[] granted = new string[3];
    granted[0] = "a";
    granted[1] = "b";
    granted[2] = "duplicate-token";
    SecurityToken t = a.IssueSecurityToken(Id("<kuid:1:301>"), granted);
    Test.Print(b.Validate(t, a, "a") + " " + c.Validate(t, a, "a") + " " +
               b.Validate(t, Id("<kuid:1:300>"), "duplicate-token"));
    string[] asked = new string[2];
    asked[0] = "b";
    asked[1] = "c";
    SecurityToken d = b.IssueSecurityToken(t, Id("<kuid:1:302>"), asked);
    Test.Print(c.Validate(d, b, "b") + " " + c.Validate(d, b, "c") + " " + b.Validate(d, a, "a"));
    Test.Print((c.IssueSecurityToken(t, Id("<kuid:1:302>"), asked) == null) + "");
    SecurityToken[] both = new SecurityToken[2];
    both[0] = t;
    both[1] = d;
    SecurityToken m = a.MergeSecurityTokens(both);
    Test.Print(c.Validate(m, b, "b") + " " + b.Validate(m, a, "b"));
  }
};
// expect: true false true
// expect: true false true
// expect: true
// expect: true true
// expect stderr: GSOSecurityToken::ReIssueToken> Unauthorised attempt made to re-issue security token (<kuid:1:302>)
