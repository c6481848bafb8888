// Soup payloads of SendMessage and PostMessage: handlers and waits receive
// a locked copy of the soup taken when the message was made, without the
// top-level tags whose names begin with "__"; a handler may pass a payload
// it received on; a null payload leaves the message without one; an object
// that is not a soup is refused.
// root: standard
include "test.gs"
include "gs.gs"
include "Constructors.gs"

static class Show {
  public void Payload(string where, Message msg) {
    if (!msg.payload) {
      Test.Print(where + " " + msg.minor + ": no payload");
      return;
    }
    Soup data = cast<Soup>msg.payload;
    Test.Print(where + " " + msg.minor + ": " + data.CountTags() + " tags, name " +
               data.GetNamedTag("name") + ", count " + data.GetNamedTagAsInt("count") +
               ", secret [" + data.GetNamedTag("__secret") + "], inner kept " +
               data.GetNamedSoup("inner").GetNamedTag("__kept") + ", locked " + data.IsLocked());
  }
};

class Receiver isclass GameObject {
  void OnData(Message msg) {
    Show.Payload("handler", msg);
    if (msg.minor == "sent") PostMessage(msg.src, "Wait", "passed on", msg.payload, 0.0);
  }
};

class Main isclass GameObject {
  Receiver receiver;
  thread void Listen() {
    Message msg;
    int i;
    for (i = 0; i < 4; i++) {
      wait() {
        on "Wait", "", msg: Show.Payload("wait", msg);
      }
    }
    Soup held = cast<Soup>msg.payload;
    held.SetNamedTag("name", "changed");
    Test.Print("a locked payload was written");
  }
  thread void Talk() {
    Soup data = ConstructorsBase.NewSoup();
    data.SetNamedTag("Name", "crate");
    data.SetNamedTag("__Secret", "hidden");
    data.SetNamedTag("count", 3);
    data.GetNamedSoupAdd("inner").SetNamedTag("__kept", "yes");
    SendMessage(receiver, "Data", "sent", data);
    PostMessage(receiver, "Data", "posted", data, 0.2);
    data.SetNamedTag("name", "renamed");
    SendMessage(receiver, "Data", "empty", null);
    PostMessage(receiver, "Data", "posted empty", null, 0.0);
    Sleep(0.5);
    SendMessage(me, "Wait", "first", data);
    SendMessage(me, "Wait", "second", null);
    Sleep(0.5);
    SendMessage(me, "Wait", "third", ConstructorsBase.NewSoup());
    Sleep(0.5);
    SendMessage(receiver, "Data", "wrong", me);
    Test.Print("an object that is not a soup was sent");
  }
  void Run() {
    receiver = new Receiver();
    receiver.AddHandler(receiver, "Data", "", "OnData");
    Listen();
    Talk();
  }
};
// pump: 3 0.1
// expect: handler sent: 3 tags, name crate, count 3, secret [], inner kept yes, locked true
// expect: handler empty: no payload
// expect: handler posted empty: no payload
// expect: wait passed on: 3 tags, name crate, count 3, secret [], inner kept yes, locked true
// expect: handler posted: 3 tags, name crate, count 3, secret [], inner kept yes, locked true
// expect: wait first: 3 tags, name renamed, count 3, secret [], inner kept yes, locked true
// expect: wait second: no payload
// expect: wait third: 0 tags, name , count 0, secret [], inner kept , locked true
// expect runtime error: Soup.SetNamedTag> parent soup is locked
// expect runtime error: incorrect parameter type at parameter 4
