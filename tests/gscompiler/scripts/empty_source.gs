// expect: empty_source.gs(2) : parse error, line 2
