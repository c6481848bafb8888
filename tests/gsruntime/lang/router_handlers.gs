// Handlers and sniffers: an empty minor catches every minor, a handler
// that changes the list does not change the running dispatch, a sniffed
// copy is not forwarded again, a missing handler function is reported.
include "test.gs"
include "gs.gs"

class Listener isclass GameObject {
  public string label;
  void OnAny(Message msg) { Test.Print(label + " any " + msg.minor); }
  void OnOne(Message msg) { Test.Print(label + " one " + msg.minor); }
  void OnChange(Message msg) {
    Test.Print(label + " change " + msg.minor);
    AddHandler(me, "Ev", "", "");
  }
  void OnSniffed(Message msg) { Test.Print(label + " sniffed " + msg.minor + " for " + msg.dst.GetId()); }
};

class Main isclass GameObject {
  Listener a, b;
  void Run() {
    a = new Listener();
    a.label = "a";
    b = new Listener();
    b.label = "b";
    a.AddHandler(a, "Ev", "x", "OnChange");
    a.AddHandler(a, "Ev", "", "OnAny");
    a.AddHandler(a, "Ev", "x", "OnOne");
    a.AddHandler(a, "Ev", "x", "OnOne");
    a.AddHandler(a, "Ev", "", "Missing");
    a.Sniff(b, "Ev", "", true);
    b.AddHandler(b, "Ev", "", "OnSniffed");
    b.Sniff(a, "Ev", "", true);
    PostMessage(a, "Ev", "x", 0.0);
    PostMessage(a, "Ev", "y", 0.0);
  }
};
// pump: 1 0.1
// expect: a change x
// expect: a any x
// expect: a one x
// expect: b sniffed x for 2
// expect: b sniffed y for 2
// expect stderr: Could not find handler $void@Listener::Missing(Message) for native GameObject::AddHandler()
