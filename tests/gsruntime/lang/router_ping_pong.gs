// Messages between two game objects: a thread sends and waits, a handler
// answers by posting; the same order every run.
include "test.gs"
include "gs.gs"

class Ponger isclass GameObject {
  int count = 0;
  void OnPing(Message msg) {
    count++;
    Test.Print("ping " + count + " " + msg.major + "/" + msg.minor + " from " + msg.src.GetId());
    PostMessage(msg.src, "Game", "Pong", 0.0);
  }
};

class Main isclass GameObject {
  Ponger other;
  thread void Play() {
    int i;
    Message msg;
    for (i = 1; i <= 5; i++) {
      SendMessage(other, "Game", "Ping");
      wait() {
        on "Game", "Pong", msg: Test.Print("pong " + i + " to " + msg.dst.GetId());
      }
    }
    Test.Print("done");
  }
  void Run() {
    other = new Ponger();
    other.AddHandler(other, "Game", "Ping", "OnPing");
    other.AddHandler(other, "Game", "Ping", "OnPing");
    Play();
  }
};
// pump: 5 0.1
// runs: 10
// expect: ping 1 Game/Ping from 1
// expect: pong 1 to 1
// expect: ping 2 Game/Ping from 1
// expect: pong 2 to 1
// expect: ping 3 Game/Ping from 1
// expect: pong 3 to 1
// expect: ping 4 Game/Ping from 1
// expect: pong 4 to 1
// expect: ping 5 Game/Ping from 1
// expect: pong 5 to 1
// expect: done
