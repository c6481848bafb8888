// The walk keeps at most 127 pending entries: 50 chained operators pass,
// 70 do not, and the walk ends at the first overflow (the undeclared name
// after it is not reported).
class Deep
{
  void Run(int i)
  {
    i = i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i;
    i = i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i + i;
    missing = 1;
  }
};

// Expected messages:
// expect: Stack overflow; code nested too deep.
