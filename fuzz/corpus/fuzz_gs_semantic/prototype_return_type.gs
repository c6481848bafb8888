// A body whose return type differs from its prototype's stops the walk.
class Worker
{
  int Value();
  float Value() { return 1.0; }
};
class Later { void F() { undefinedName = 1; } };

// Expected messages:
// expect: prototype_return_type.gs(5) : Function differs only by return type, line 5.
