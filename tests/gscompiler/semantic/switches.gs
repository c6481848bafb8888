// switch needs a case, a default and an int selector; case and default
// need an enclosing switch, a case an int constant.
class Switches
{
  void Run(int n, string s)
  {
    switch (n) { default: n = 1; }
    switch (n) { case 1: n = 2; }
    switch (s) { case 1: n = 3; default: n = 4; }
    switch (n) { case n: n = 5; case 2.0: n = 6; default: n = 7; default: n = 8; }
    switch (n) { case 1 + 2: n = 9; default: n = 10; }
    case 3: n = 11;
    default: n = 12;
  }
};

// Expected messages:
// expect: switches.gs(7) : switch statement without case, line 7.
// expect: switches.gs(8) : switch statement without default, line 8.
// expect: switches.gs(9) : switch expression not integral, line 9.
// expect: switches.gs(10) : case expression not constant or integral, line 10.
// expect: switches.gs(10) : case expression not constant or integral, line 10.
// expect: switches.gs(10) : switch already has default, line 10.
// expect: switches.gs(12) : illegal case, line 12.
// expect: switches.gs(13) : illegal default, line 13.
