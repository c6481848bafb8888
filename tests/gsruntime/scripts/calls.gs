// Two classes with a method at the same slot and with the same arguments,
// one returning nothing and one an int: which call leaves a value is not
// written in the byte code.
class Quiet { public void Go() { } };
class Loud { public int Go() { return 1; } };

class Caller {
  int Run(Quiet q, Loud l) {
    int x;
    q.Go();
    l.Go();
    x = l.Go() + 2;
    if (x > 1) q.Go();
    while (x > 0) { x--; q.Go(); l.Go(); }
    return l.Go();
  }
};
