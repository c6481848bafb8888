// Arrays: growth by store, size, slices, splices, copies, and arrays of
// objects and strings.
include "test.gs"

class Item {
  public int v;
};

class Main {
  string Show(int[] a) {
    string out = "";
    int i;
    for (i = 0; i < a.size(); i++) out = out + a[i] + " ";
    return out + "(" + a.size() + ")";
  }

  void Run() {
    int[] a = new int[3];
    a[0] = 1;
    a[10] = 11;
    Test.Print("grown " + Show(a));
    int[] b = a[-1, -1];
    b[1] = 2;
    Test.Print("whole " + Show(b) + " first " + a[1]);
    Test.Print("slice " + Show(b[0, 2]) + " tail " + Show(b[9, ]));
    int[] c = new int[2];
    c[0] = 7;
    c[1] = 8;
    b[1, 10] = c;
    Test.Print("splice " + Show(b));
    b[5, 5] = c;
    Test.Print("past end " + Show(b));
    int[] d;
    d.copy(c);
    d[0] = 9;
    Test.Print("copy " + Show(d) + " source " + Show(c));
    float[] f = new float[1];
    f[0] = 0.5;
    bool[] flags = new bool[2];
    flags[1] = true;
    Test.Print("float " + f[0] + " bool " + flags[0] + flags[1]);
    Item[] items = new Item[2];
    items[3] = new Item();
    items[3].v = 33;
    Item[] more = items[2, 4];
    Test.Print("objects " + items.size() + " " + (items[0] == null) + " " + more[1].v);
    string[] words = new string[1];
    words[0] = "one";
    words[2] = "three";
    Test.Print("strings " + words[0] + words[1] + words[2] + " " + words.size());
    Test.Print("empty " + Show(new int[0]) + " " + Show(new int[-5]));
  }
};
// expect: grown 1 0 0 0 0 0 0 0 0 0 11 (11)
// expect: whole 1 2 0 0 0 0 0 0 0 0 11 (11) first 0
// expect: slice 1 2 (2) tail 0 11 (2)
// expect: splice 1 7 8 11 (4)
// expect: past end 1 7 8 11 0 7 8 (7)
// expect: copy 9 8 (2) source 7 8 (2)
// expect: float 0.500000 bool falsetrue
// expect: objects 4 true 33
// expect: strings onethree 3
// expect: empty (0) (0)
