// Image natives: sizes, colours, the filled rectangle with its border,
// circles, lines, triangles and copies, clipped at the edges; the picture
// is kept as a golden file a person can look at.
// root: standard
include "test.gs"
include "teststd.gs"
include "Constructors.gs"

class Main {
  string Size(Image image) {
    return image.GetWidth() + "x" + image.GetHeight();
  }
  void Run() {
    Image image = ConstructorsBase.NewImage();
    image.DrawRect(0, 0, 5, 5);
    Test.Print(Size(image));
    image.Clear(0, 10);
    Test.Print(Size(image));
    image.SetFillColor(0, 0, 1, 1);
    image.Clear(48, 32);
    Test.Print(Size(image));
    image.SetFillColor(1, 1, 0, 1);
    image.SetLineColor(1, 0, 0, 1);
    image.DrawRect(4, 4, 14, 11);
    image.SetFillColor(0, 1, 0, 1);
    image.SetLineColor(1, 1, 1, 1);
    image.DrawCircle(34, 10, 6);
    image.DrawTriangle(2, 30, 12, 16, 22, 30);
    image.SetLineColor(1, 0, 0.5, 1);
    image.DrawLine(-2000000000, 31, 2000000000, 31);
    image.DrawLine(47, -2000000000, 47, 2000000000);
    image.SetLineColor(1.5, -3, 0.5, 1);
    image.DrawPoint(30, 25);
    image.SetLineColor(1, 1, 1, 0.5);
    image.DrawPoint(32, 25);
    image.DrawPoint(-1, 5);
    image.DrawPoint(48, 5);

    Image stamp = ConstructorsBase.NewImage();
    stamp.SetFillColor(1, 1, 1, 1);
    stamp.Clear(3, 3);
    image.DrawImage(-1, -1, stamp);
    image.DrawImage(40, 20, 41, 21, stamp, 0, 0, 2, 2);
    image.DrawImage(0, 0, 30, 30, image);
    image.DrawImage(24, 24, 26, 26, image, 4, 4, 6, 6);
    TestStd.WritePNG(image, "shapes.png");

    image.Resize(48, 32, false);
    image.Resize(24, 16, false);
    Test.Print(Size(image));
    image.Resize(-1, 5, true);
    Test.Print(Size(image));
  }
};
// expect: 0x0
// expect: 0x0
// expect: 48x32
// expect: 24x16
// expect: 0x0
// Fill inside the rectangle, line colour on its border, background outside:
// expect pixel: shapes.png 8 7 FFFF00FF
// expect pixel: shapes.png 4 4 FF0000FF
// expect pixel: shapes.png 13 7 FF0000FF
// expect pixel: shapes.png 8 10 FF0000FF
// expect pixel: shapes.png 14 7 0000FFFF
// expect pixel: shapes.png 8 11 0000FFFF
// Circle: green inside, white ring, background beyond:
// expect pixel: shapes.png 34 10 00FF00FF
// expect pixel: shapes.png 40 10 FFFFFFFF
// expect pixel: shapes.png 41 10 0000FFFF
// Triangle: green inside, white corner:
// expect pixel: shapes.png 12 26 00FF00FF
// expect pixel: shapes.png 12 16 FFFFFFFF
// Lines from far outside are clipped to the picture:
// expect pixel: shapes.png 20 31 FF0080FF
// expect pixel: shapes.png 47 3 FF0080FF
// A component above 1 counts as 1, below 0 as 0; half-transparent white blends:
// expect pixel: shapes.png 30 25 FF0080FF
// expect pixel: shapes.png 32 25 8080FFFF
// Copies: clipped at the top left, a part of a picture, and a picture onto
// itself only where the sizes agree (the corner copies, the whole does not):
// expect pixel: shapes.png 0 0 FFFFFFFF
// expect pixel: shapes.png 2 2 0000FFFF
// expect pixel: shapes.png 41 21 FFFFFFFF
// expect pixel: shapes.png 42 22 0000FFFF
// expect pixel: shapes.png 24 24 FF0000FF
// expect pixel: shapes.png 25 25 FFFF00FF
// golden: shapes.png
