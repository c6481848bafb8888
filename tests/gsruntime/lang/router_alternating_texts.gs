// Two message types that take turns, while the scripts change the type
// texts of the Message objects they are handed: every message still reads
// its own types.
include "test.gs"
include "gs.gs"

class Ponger isclass GameObject {
  int count = 0;
  void OnPing(Message msg) {
    count++;
    Test.Print("ping " + count + " " + msg.major + "/" + msg.minor);
    if (count % 2 == 0) msg.major[1] = 'u';
    else msg.minor[1] = 'u';
    PostMessage(msg.src, "Game", "Pong", 0.0);
  }
};

class Main isclass GameObject {
  Ponger other;
  thread void Play() {
    int i;
    Message msg;
    for (i = 1; i <= 6; i++) {
      SendMessage(other, "Game", "Ping");
      wait() {
        on "Game", "Pong", msg: Test.Print("pong " + i + " " + msg.major + "/" + msg.minor);
      }
      msg.minor[0] = 'W';
    }
    Test.Print("last " + msg.major + "/" + msg.minor);
  }
  void Run() {
    other = new Ponger();
    other.AddHandler(other, "Game", "Ping", "OnPing");
    Play();
  }
};
// pump: 5 0.1
// expect: ping 1 Game/Ping
// expect: pong 1 Game/Pong
// expect: ping 2 Game/Ping
// expect: pong 2 Game/Pong
// expect: ping 3 Game/Ping
// expect: pong 3 Game/Pong
// expect: ping 4 Game/Ping
// expect: pong 4 Game/Pong
// expect: ping 5 Game/Ping
// expect: pong 5 Game/Pong
// expect: ping 6 Game/Ping
// expect: pong 6 Game/Pong
// expect: last Game/Wong
