include "a.gs"
include "b.gs"
// A source needs at least one class; the error is at end of input.
// expect: includes_without_class.gs(5) : parse error, line 5
