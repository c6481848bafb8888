class A {
  native void Foo() {
  }
};
// A native function with a body names its line.
// expect: native_with_body.gs(2) : Native function ::Foo() has been implemented
// expect: Internal Code Generation Error...
