// A class declared twice stops the walk after the first message; later
// classes are not checked.
class Twice { };
class Twice { };
class Later { void F() { undefinedName = 1; } };

// Expected messages:
// expect: class_redeclared.gs(4) : Class Twice has already been declared, line 4.
