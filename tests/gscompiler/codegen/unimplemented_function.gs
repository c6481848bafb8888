class A {
  void Foo();
};
// A declared function without a body names its line.
// expect: unimplemented_function.gs(2) : Function ::Foo() not implemented
// expect: Internal Code Generation Error...
