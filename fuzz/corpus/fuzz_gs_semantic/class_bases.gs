// Base classes: declared before use, neither static nor final, and no class
// twice in the ancestry. Messages carry the line of the base name.
static class Helper { };
final class Sealed { };
class Base { };
class Derived isclass Missing { };
class FromStatic isclass
  Helper { };
class FromFinal isclass Sealed { };
class Twice isclass Base, Base { };
class Self isclass Self { };
class Early isclass Late { };
class Late { };
class Fine isclass Base { };

// Expected messages:
// expect: class_bases.gs(6) : Class Missing has not been declared, line 6.
// expect: class_bases.gs(8) : Cannot extend static class Helper, line 8.
// expect: class_bases.gs(9) : Cannot extend final class Sealed, line 9.
// expect: class_bases.gs(10) : Class Twice and Base causes cyclic derivation, line 10.
// expect: class_bases.gs(11) : Class Self and Self causes cyclic derivation, line 11.
// expect: class_bases.gs(12) : Class Late has not been declared, line 12.
