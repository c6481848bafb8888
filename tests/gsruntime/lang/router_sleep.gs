// A thread that sleeps 2 seconds under ticks of 0.5 seconds wakes on the
// fourth tick after it fell asleep.
include "test.gs"
include "gs.gs"

class Main isclass GameObject {
  int ticks = 0;
  thread void Ticker() {
    while (ticks < 6) {
      ticks++;
      Test.Print("tick " + ticks);
      Sleep(0.5);
    }
  }
  thread void Sleeper() {
    int start = ticks;
    Sleep(2.0);
    Test.Print("woke after " + (ticks - start) + " ticks");
  }
  void Run() {
    Ticker();
    Sleeper();
  }
};
// pump: 10 0.5
// expect: tick 1
// expect: tick 2
// expect: tick 3
// expect: tick 4
// expect: tick 5
// expect: woke after 4 ticks
// expect: tick 6
