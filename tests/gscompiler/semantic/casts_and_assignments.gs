// Casts go either way along the inheritance; assignments only from a class
// to itself or a base; the target must be an l-value.
class Animal { };
class Dog isclass Animal { };
class Stone { };
class Casts
{
  int Count() { return 0; }
  void Run(int i, string s, Animal a, Dog d, Stone st, int[] list)
  {
    d = cast<Dog>a;
    a = d;
    d = a;
    st = cast<Stone>a;
    i = (int)s;
    list = (int[])i;
    s = i;
    i = s;
    Count() = 1;
    a = null;
    Ghost g;
    a = g;
  }
};

// Expected messages:
// expect: casts_and_assignments.gs(13) : cannot cast from object<Animal> to object<Dog>, line 13.
// expect: casts_and_assignments.gs(14) : cannot cast from Animal to Stone, line 14.
// expect: casts_and_assignments.gs(14) : cannot cast from  to Stone, line 14.
// expect: casts_and_assignments.gs(15) : cannot cast from string to int, line 15.
// expect: casts_and_assignments.gs(15) : cannot cast from  to int, line 15.
// expect: casts_and_assignments.gs(16) : cannot cast from int to int[], line 16.
// expect: casts_and_assignments.gs(16) : cannot cast from  to int[], line 16.
// expect: casts_and_assignments.gs(18) : cannot cast from string to int, line 18.
// expect: casts_and_assignments.gs(19) : illegal l-value for assignment, line 19.
// expect: casts_and_assignments.gs(21) : object<Ghost> not declared, line 21.
// expect: casts_and_assignments.gs(22) : class Ghost not defined, line 22.
