// Strings and arrays through every operator the language has for them.
class Values {
  string[] names;
  float[] weights;

  string Mix(string a, string b, int i) {
    string s = a + b + i + (float)i + (i > 2);
    s[i] = 'q';
    s = s[1,] + s[, 2] + s[1, 3];
    s[0, 2] = b;
    if (s == a or s != b and s < a) s = null;
    return s;
  }

  int Fill(int n) {
    int i, total;
    names = new string[n];
    weights = new float[n];
    for (i = 0; i < n; i++) {
      names[i] = "n" + i;
      weights[i] = (float)i / 2.0;
      total = total + names[i].size() + (int)weights[i];
    }
    names[1, 2] = names[, 1];
    weights = weights[1,];
    names.copy(names);
    total = total + (total << 2) - (total >> 1) + (total & 3) + (total | 4) + (total ^ 5) + ~total;
    total = -total * 3 / 2 % 7;
    return total;
  }
};
