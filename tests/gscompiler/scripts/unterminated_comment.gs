class A
{
  int x; /* this comment
  never ends, and the class never gets its closing brace.
  // expect: unterminated_comment.gs(6) : parse error, line 6
