// A class may be only static, final, game or secured; any other specifier
// stops the walk, so the later class with its error is not checked.
public class Bad { };
class Later { void F() { undefinedName = 1; } };

// Expected messages:
// expect: class_specifiers.gs(3) : Class has illegal declaration specifiers, line 3.
