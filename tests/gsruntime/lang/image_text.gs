// Image text: widths grow with the text, a missing face falls back to the
// system's, and text drawn in a colour over a background blends as the
// font's rule says (a covered pixel of red over blue keeps a trace of the
// blue). The picture of a line of text is kept as a golden file.
// root: standard
include "test.gs"
include "teststd.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Image image = ConstructorsBase.NewImage();
    int a = image.MeasureTextWidth("a");
    int abc = image.MeasureTextWidth("abc");
    Test.Print((abc > a) + " " + (a > 0));
    image.SetTextFont("No Such Face", 12);
    Test.Print(image.MeasureTextWidth("abc") == abc);
    image.DrawText(0, 0, "abc");

    image.SetFillColor(0, 0, 1, 1);
    image.Clear(40, 40);
    image.SetLineColor(1, 0, 0, 1);
    image.SetTextFont("DejaVu Sans", 32);
    int block = image.MeasureTextWidth("█");
    image.DrawText(4, 4, "█");  // covers x 4 .. 4 + block - 1, y 4 .. 35
    image.DrawText(-1000, -1000, "█ clipped away █");
    TestStd.WritePNG(image, "blend.png");
    Test.Print(block > 20);

    Image line = ConstructorsBase.NewImage();
    line.SetFillColor(1, 1, 1, 1);
    line.Clear(200, 24);
    line.SetLineColor(0, 0, 0.5, 1);
    line.SetTextFont("swiss", 16);
    line.DrawText(2, 2, "Hello, wörld – it’s 12°");
    TestStd.WritePNG(line, "text.png");
  }
};
// expect: true true
// expect: true
// expect: true
// expect pixel: blend.png 14 20 FE0001FE
// expect pixel: blend.png 2 2 0000FFFF
// golden: text.png
