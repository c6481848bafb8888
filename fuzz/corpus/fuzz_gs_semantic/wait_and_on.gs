// wait needs an on statement; on needs two string constants and an object
// l-value for the message; an on outside any wait stands alone.
class Waits
{
  thread void Run()
  {
    object msg;
    int n;
    wait() { n = 1; }
    wait() { on 1, "minor": n = 2; on "major", "minor", n: n = 3; }
    on "major", "minor", msg: n = 4;
  }
};

// Expected messages:
// expect: wait_and_on.gs(9) : wait statement must have at least 1 on statement, line 9.
// expect: wait_and_on.gs(10) : on statement requires string constant for major and minor message types, line 10
// expect: wait_and_on.gs(10) : on statement requires object type for third parameter, line 10
