// The language reference that "-d" prints.
#include "gscompiler/GSCompiler.h"

namespace {

constexpr const char kDocumentation[] = R"DOC(ORVAK GameScript Compiler - Language Reference
==============================================

1.0 Introduction
----------------
GameScript is a small, statically typed, class-based language for scripting
game objects. A script is a set of classes; each class holds member
variables and functions. Functions run as cooperative threads of a byte-code
machine: a thread runs until it finishes or waits for a message, so no two
script functions ever run at the same moment. The compiler turns one source
file, together with the files it includes, into one library that the
runtime loads, links and runs.

2.0 The language
----------------

2.1 Comments
  // text          a comment up to the end of the line
  /* text */       a block comment; it may span lines and does not nest
Comments count toward line numbers like any other text. End of input inside
a block comment simply ends the input.

2.2 Keywords
These words are reserved and are written in lower case exactly:
  break case continue default else for goto if null return switch while
  and or true false void bool int float string object class include
  define static public final thread native game secured size isclass copy
  new me cast wait on
Words such as "this", "private" or "constructor" are not keywords; they are
ordinary identifiers. "Break" or "IF" are identifiers too: keywords are case
sensitive.

2.3 Identifiers
An identifier is a letter or "_" followed by letters, digits and "_". Case
matters: "count" and "Count" are different names.

2.4 Constants
  integer     123, 09 (leading zeros are decimal: 09 is 9)
  hex         0x1F, 0XFF; values above 2147483647 are held at 2147483647
  character   'a', '\n' - an int holding the code of the first character
  float       1.5, 1.5f, 3., .5, 3.f - an optional "f" follows; there is no
              exponent form (1e5 is the integer 1 followed by the name e5)
  string      "text", which may span lines
  bool        true, false
  null        the empty reference
Escapes in character and string constants: \n newline, \t tab, \v vertical
tab, \r carriage return, \f form feed, \b backspace, \a bell, \0 ends the
text; a backslash before any other character stands for that character, so
\\ is a backslash and \" a double quote. A leading L (L"x", L'x') is
accepted and ignored.

2.5 Types
  void        no value (function results only)
  bool        true or false
  int         32-bit signed integer
  float       32-bit floating point number
  string      text; a reference type that may be null
  object      a reference to an object of any class
  ClassName   a reference to an object of that class or of a class derived
              from it
  T[]         an array of any of the above, e.g. int[], string[], Train[]
Values of type bool, int and float are copied; strings, objects and arrays
are references, counted by the runtime and released when the last reference
goes.

Conversions made without a cast:
  bool, int, float    from each other
  string              from bool, int, float, string and null
  object, ClassName   from an object of the same class or a derived class,
                      and from null
  T[]                 from the same array type and from null
A cast converts explicitly:
  (int)x   (float)x   (string)x   (int[])a      built-in types
  cast<Train>obj                                 to a class (up or down the
                                                 inheritance)
A class name in parentheses is not a cast; use cast<ClassName>.

2.6 Operators
From the loosest binding to the tightest:
  ,                      sequence; only the last value is kept
  =                      assignment (right to left: a = b = c)
  or                     logical or
  and                    logical and
  |                      bitwise or
  ^                      bitwise exclusive or
  &                      bitwise and
  ==  !=                 equality
  <  >  <=  >=           comparison
  <<  >>                 shifts
  +  -                   addition, subtraction; + also joins strings with
                         bool, int, float or string values
  *  /  %                multiplication, division, remainder
  (type)  cast<C>        casts
  +  -  ~  !  ++  --     unary and prefix operators
  a[i]  a[i,j]  a[,j]  a[i,]   index and range (strings and arrays)
  f(x)  o.m  o.f(x)  x++  x--  postfix operators, calls and members
  a.size()               length of a string or an array
  o.isclass(C)           true when o is an object of class C or a
                         derivative
  a.copy(b)              copies b into a: the elements of an array,
                         the text of a string
  new C()  new int[n]    creates an object or an array
The logical operators are the words "and" and "or"; "&&" and "||" are not
operators. There is no compound assignment ("+=" is "+" then "="), no
conditional operator "?:" and no do-while loop. Arithmetic on two ints
stays int (division truncates toward zero); with a float operand it is
float. Operators whose operands are all constants are evaluated by the
compiler.

2.7 Class declaration
  [specifiers] class Name [isclass Base1, Base2] {
    members
  };
The semicolon after the closing brace is required. "isclass" names the
classes this class derives from. Specifiers of a class:
  static     the class name may stand before "." as a value; the class
             cannot be created with new nor extended
  final      the class cannot be extended
  game       a game object class; it cannot be created with new
  secured    accepted
Members are variable declarations and function declarations:
  int count;                         a member variable
  public string name;                readable through "." from other classes
  define int MAX = 10 * 4;           a named constant; the initialiser must
                                     evaluate to a constant
  float speed = 1.5, weight;         initialisers of members are constant
                                     expressions

2.8 Function declaration
  [specifiers] type Name(parameters) { statements }
  [specifiers] type Name(parameters);          a prototype
An empty parameter list may be written () or (void). Parameters are
"type name" pairs separated by commas. Functions of one class may share a
name when their parameter types differ; a derived class replaces a function
of its bases by declaring one with the same parameter types and the same
result type. Specifiers of a function:
  public     callable from other classes
  native     implemented by the host program
  final      cannot be replaced in a derived class
  thread     runs as a thread of its own when called; must return void and
             makes its class a game object class
A function that returns a value must end with a return statement; a void
function gets one added at its end. A function is known from its
declaration on: to call a function of the class that is declared further
down, declare its prototype before the call.

2.9 Control flow statements
  { statements }                     a block; variables declared in it live
                                     until its end
  type name [= value], ...;          a local variable, anywhere in a block
  expression;                        an expression statement
  if (condition) statement [else statement]
  while (condition) statement
  for (init; condition; step) statement   (each part may be left out; the
                                     init part is an expression, not a
                                     declaration)
  switch (int expression) {          needs at least one case and a default;
    case 1: statements               case values are int constants
    default: statements
  }
  break;   continue;                 leave or restart the nearest loop
                                     (break also leaves a switch or wait)
  return;  return expression;
  label:   goto label;
  wait() {                           waits for a message; each on-clause
    on "Major", "Minor": statement   names a message by two string
    on "Major", "Minor", msg: stmt   constants, and may store the message
  }                                  object in an object variable
  on "Major", "Minor": statement     outside a wait: waits for that one
                                     message
An "else" belongs to the nearest "if" without one.

2.10 Grammar
  program      := include* class+
  include      := "include" STRING       (include lines come before the
                  first class; each file is compiled once per unit)
  class        := spec* "class" ID ["isclass" ID ("," ID)*]
                  "{" member* "}" ";"
  member       := spec* (function | prototype | variables)
  spec         := "public" | "native" | "final" | "thread" | "static"
                | "game" | "secured" | "define"
  function     := type ID "(" params ")" block
  prototype    := type ID "(" params ")" ";"
  params       := empty | "void" | type ID ("," type ID)*
  variables    := type ID ["=" constexpr] ("," ID ["=" constexpr])* ";"
  type         := ("void" | "bool" | "int" | "float" | "string" | "object"
                  | ID) ["[]"]
  block        := "{" statement* "}"
  statement    := variables | block | expr ";" | ";"
                | ID ":" statement | "case" constexpr ":" statement
                | "default" ":" statement
                | "on" const "," const ["," unary] ":" statement
                | "if" "(" expr ")" statement ["else" statement]
                | "switch" "(" expr ")" block | "wait" "(" ")" block
                | "while" "(" expr ")" statement
                | "for" "(" [expr] ";" [expr] ";" [expr] ")" statement
                | "goto" ID ";" | "break" ";" | "continue" ";"
                | "return" [expr] ";"
  expr         := assignment ("," assignment)*
  assignment   := unary "=" assignment | constexpr
  constexpr    := binary expression over the operators of 2.6
The include line is written  include "file.gs"  with no semicolon.

3.0 The compiler
----------------
One source file compiles to one library (".gsl") named after the source.
The files a source includes are searched in the source's own folder and
then in the folders given with -i; a file named "x.gs" that is missing is
also looked for as its encoded form "x.gse". Sources are plain 8-bit
(ANSI) text; a file saved with a UTF-8 byte-order mark is refused.
A library records the sources it was compiled from. Loading a library
loads the libraries it was compiled against first. A library is known by
its identity: two 32-bit checksums (CRC-32), one of the top source's text
and one of its lower-cased file name without folder.
Every error is reported as
  file(line) : message
and the compiler returns the number of errors; no library is written when
there are errors.

3.1 Compiler switches
Run the compiler without arguments to see its switches (the usage text).

4.0 The library file
--------------------
A library starts with its length, a magic word, the format version, its
identity (the two checksums of chapter 3.0) and its lower-cased name. Then
follow chunks: the table of the libraries it depends on, its string table,
the classes and functions it refers to, and one record per class with the
byte code and the line table of each function. All numbers are
little-endian.

5.0 The byte code
-----------------
Functions are compiled into the code of a stack machine: each instruction
takes its operands from the operand stack and leaves its result there.
Operands written in the code are little-endian; jumps are offsets from the
start of the function's code. A thread runs its code for a bounded amount
of work at a time before other threads get their turn.

6.0 The runtime environment
---------------------------

6.1 Runtime stack
Each script thread has one stack of 32-bit slots. A function call builds a
frame on it: slot 0 holds the object the function runs on, the next slots
the parameters, then the local variables, a few compiler temporaries and a
frame record; the function's operand stack lies above the frame.

6.2 Script references
Strings, arrays and objects are held by reference. Every reference held in
a variable, a member, an array element or a stack slot counts one use; an
object is released when its last reference goes. null is the reference to
nothing; using it where an object is needed stops the thread with an
error that names the line and the file.

7.0 The compiler's source files
-------------------------------
Left out of this edition.

8.0 The runtime's source files
------------------------------
Left out of this edition.

9.0 Using the language
----------------------
Left out of this edition.
)DOC";

}  // namespace

const char* GSCompilerDocumentation() {
  return kDocumentation;
}
