// Returns must match the function's type without conversion; a non-void
// body must end in a return; object arrays must hold the return class.
class Animal { };
class Dog isclass Animal { };
class Returns
{
  float One() { return 1; }
  object Nothing() { return null; }
  string NoText() { return null; }
  int Missing() { return; }
  void Extra() { return 5; }
  int Branches(int n)
  {
    if (n > 0) return 1; else return 2;
  }
  Animal[] Pack(Dog[] dogs) { return dogs; }
  Dog[] Unpack(Animal[] animals) { return animals; }
  Animal Same(Dog d) { return d; }
  void Implicit() { }
};

// Expected messages:
// expect: returns.gs(7) : return type mismatch, expecting float, line 7.
// expect: returns.gs(9) : return type mismatch, expecting string, line 9.
// expect: returns.gs(10) : return type mismatch, expecting int, line 10.
// expect: returns.gs(11) : return type mismatch, expecting void, line 11.
// expect: returns.gs(15) : expecting return type of int, line 15.
// expect: returns.gs(17) : cannot cast from object<Animal> to object<Dog>, line 17.
// expect: returns.gs(18) : return type mismatch, expecting Animal, line 18.
