// break needs an enclosing for, while, switch or wait; continue an
// enclosing for, while or wait.
class Jumps
{
  void Run(int n)
  {
    while (n > 0) { n--; if (n == 3) break; else continue; }
    switch (n) { case 1: break; default: continue; }
    break;
    continue;
  }
};

// Expected messages:
// expect: jumps.gs(8) : illegal continue, line 8.
// expect: jumps.gs(9) : illegal break, line 9.
// expect: jumps.gs(10) : illegal continue, line 10.
