// A program that uses every kind of declaration and statement and passes
// the semantic checks without a message.
static class Registry { public define int LIMIT = 0x10, SHIFT = 2 << 3; public define string NAME = "reg"; };

class Base
{
  public int a, b, c;
  public void Reset(void) { a = 0; }
  final int Fixed() { return 1; }
};

class Message { public string major; };

game class Demo isclass Base
{
  int count = -1;
  float[] weights;
  string name = "demo\n";
  Base link;

  public void Reset(void);
  int Sum(int[] values, int n);
  native int NativeCall(object o, Demo[] list);
  void Take(float f) { }

  thread void Watch()
  {
    Message msg;
    wait() {
      on "Object", "Enter", msg: { count++; continue; }
      on "Object", "Leave": break;
    }
  }

  public void Reset(void)
  {
    int i, j = 3;
    weights = new float[8];
    for (i = 0; i < weights.size(); ++i) weights[i] = (float)i * 0.5f;
    for (;;) { break; }
    name = name[,2] + name[1,] + name[1,2] + Registry.NAME + count;
    link = cast<Base>me;
    if (link.isclass(Demo) and !(j == 2) or ~j != 0) link = null;
    else if (j >= 3) j = j % 2;
    else ;
    Take(1);
    inherited();
    a = b + c + Registry.LIMIT;
  }

  int Sum(int[] values, int n)
  {
    int total = 0;
    while (n > 0) { n--; total = total + values[n]; }
    switch (total) {
      case 0: return 0;
      case Registry.LIMIT: total = total >> 1;
      default: ;
    }
    again: if (total < 0) goto again;
    values.copy(values);
    return total, total;
  }
};


final secured class Last { };
