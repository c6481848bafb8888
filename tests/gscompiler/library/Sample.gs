class Base {
  public int count;
  string label = "base";
  public int Size() { return count; }
  public void Touch(int n) { count = count + n; }
};

class Shape isclass Base {
  public float w = 1.5, h;
  public define int SIDES = 4;
  object[] parts;
  public float Area() { return w * h; }
  public int Size() { return count * 2; }
  native void Draw(string where);
};

game class Demo isclass Shape {
  int[] values;
  Shape other;
  string text;

  thread void Watch() {
    Base b;
    wait() {
      on "Object", "Enter", b: { count++; continue; }
      on "Object", "Leave": break;
    }
    on "Timer", "Tick": ;
  }

  string Run(int n, float f) {
    int i, total = 0;
    string s = "n=" + n;
    values = new int[n];
    for (i = 0; i < values.size(); ++i) values[i] = i * i;
    while (i > 0) { i--; if (i % 2 == 0) continue; total = total + values[i]; }
    other = cast<Shape>me;
    if (other == null) return s;
    if (other and !(other.Size() != 3) or f > 2.0) s = s + f;
    else if (total >= 3) total = total % 2;
    switch (total) { case 0: s = s + "zero"; break; case 7: s[0] = 'x'; default: s = s[1, 3] + s[, 2]; }
    text = s;
    text = s + text.size() + SIDES + w;
    values.copy(values);
    values[0]++;
    Touch(values[1]);
    Watch();
    Draw(s);
    return s;
  }

  public int Size() { return inherited() + 1; }
};
