// A string joined with an int: the digits of any int, a null string on the
// left, results that are strings of their own (a change to one reaches
// neither side nor the other results), s = s + i growing s in place only
// while nothing else holds s, and keys made that way found again.
include "test.gs"

class Main {
  void Run() {
    string none;
    int[] values = new int[5];
    values[0] = 0;
    values[1] = -1;
    values[2] = 2147483647;
    values[3] = -2147483647 - 1;
    values[4] = 1000000;
    int i;
    for (i = 0; i < values.size(); i++) Test.Print("v" + values[i] + " " + (none + values[i]));
    string head = "key";
    string a = head + 7;
    string b = head + 7;
    a[0] = 'K';
    Test.Print(head + " " + a + " " + b);
    string grown = "n";
    string kept = grown;
    grown = grown + 1;
    Test.Print("grown " + grown + " kept " + kept);
    string alone = "m";
    for (i = 0; i < 3; i++) alone = alone + i;
    Test.Print("alone " + alone);
    string[] keys = new string[3];
    for (i = 0; i < 3; i++) keys[i] = "key" + (i * 10);
    for (i = 0; i < 3; i++) if (keys[i] == "key" + (i * 10)) Test.Print("same " + keys[i]);
  }
};
// expect: v0 0
// expect: v-1 -1
// expect: v2147483647 2147483647
// expect: v-2147483648 -2147483648
// expect: v1000000 1000000
// expect: key Key7 key7
// expect: grown n1 kept n
// expect: alone m012
// expect: same key0
// expect: same key10
// expect: same key20
