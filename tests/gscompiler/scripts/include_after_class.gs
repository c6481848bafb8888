class A { };
include "late.gs"
// expect: include_after_class.gs(2) : parse error, line 2
