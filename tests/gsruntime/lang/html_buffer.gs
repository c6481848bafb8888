// HTMLBuffer natives: escaping of markup characters and of every kind of
// line break, plain text appended as it is, the empty flag (cleared by any
// appended text, plain text included), and Clear.
// root: standard
include "test.gs"
include "HTMLBuffer.gs"

class Main {
  void Run() {
    HTMLBuffer b = HTMLBufferStatic.Construct();
    Test.Print(b.IsEmpty() + " [" + b.AsString() + "]");
    b.Escape("");
    b.Escape(null);
    b.Print(null);
    Test.Print(b.IsEmpty());
    b.Escape("a<b>&c");
    Test.Print(b.IsEmpty() + " " + b.AsString());
    b.Clear();
    b.Escape("1\r\n2\n\r3\r\r4\n");
    Test.Print(b.AsString());
    b.Clear();
    Test.Print(b.IsEmpty() + " [" + b.AsString() + "]");
    b.Print("<b>%s%n</b>");
    Test.Print(b.IsEmpty() + " " + b.AsString());
  }
};
// expect: true []
// expect: true
// expect: false a&lt;b&gt;&amp;c
// expect: 1<br>2<br>3<br><br>4<br>
// expect: true []
// expect: false <b>%s%n</b>
