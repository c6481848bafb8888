// Natives: arguments of every kind, a result pushed or left out, member
// natives of a native class.
include "test.gs"

class Main {
  void Run() {
    Test.Print(Test.Join(-3, 0.25, true, "text"));
    Test.Print("nothing " + Test.Nothing());
    Counter c = Test.NewCounter();
    c.Add(5);
    c.Add(-2);
    Test.Print("total " + c.Total() + " " + Test.CounterTotal(c));
  }
};
// expect: -3 0.250000 true text
// expect: nothing 0
// expect: total 3 3
