// The standard script libraries under "gsrun --root": the native libraries
// register, so "gs.gsl" is announced and a class derived from one of its
// classes runs.
// root: standard
include "test.gs"
include "gs.gs"

class Main isclass GSObject {
  void Run() {
    Test.Print(GetGSClassName());
  }
};
// expect: Main
