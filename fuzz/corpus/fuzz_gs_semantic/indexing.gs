// "[]" and "[,]" need a string or an array (not void[]) and int indices.
class Holder { public int[] items; };
class Index
{
  void Run(int i, float f, string s, int[] a, Holder h)
  {
    i = i[0];
    i = h.items[f];
    i = s[1];
    s = s[1, 2];
    a = a[f, ];
    a = a[, f];
    a = i[1, ];
    h.items[0] = 3;
  }
};

// Expected messages:
// expect: indexing.gs(7) : i not an array type for [] operator, line 7
// expect: indexing.gs(7) : cannot cast from  to int, line 7.
// expect: indexing.gs(8) : index not integral for [] operator, line 8
// expect: indexing.gs(8) : cannot cast from  to int, line 8.
// expect: indexing.gs(11) : left index not integral for [,] operator, line 11
// expect: indexing.gs(11) : cannot cast from  to int[], line 11.
// expect: indexing.gs(12) : right index not integral for [,] operator, line 12
// expect: indexing.gs(12) : cannot cast from  to int[], line 12.
// expect: indexing.gs(13) : i not an array type for [,] operator, line 13
// expect: indexing.gs(13) : cannot cast from  to int[], line 13.
