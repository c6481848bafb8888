// An image counts the operations that change or may change its pixels:
// not those without a bitmap, a resize to its own size, a copy that does
// not happen or the setters; ExportImage gives a locked empty soup.
// root: standard
include "test.gs"
include "teststd.gs"
include "Constructors.gs"

class Main {
  Image image;
  string line;
  void Note() {
    if (line != "") line = line + " ";
    line = line + TestStd.ImageChanges(image);
  }
  void Run() {
    image = ConstructorsBase.NewImage();
    Image blank = ConstructorsBase.NewImage();
    image.DrawRect(0, 0, 4, 4);
    image.DrawText(0, 0, "x");
    Note();
    image.Clear(0, 10);
    Note();
    image.Resize(0, 0, false);
    Note();
    image.Clear(8, 8);
    image.Resize(8, 8, true);
    Note();
    image.DrawPoint(100, 100);
    Note();
    image.DrawImage(0, 0, blank);
    Note();
    image.DrawImage(0, 0, image);
    image.DrawImage(0, 0, 4, 4, image);
    Note();
    image.SetTextFont("Swiss", 12);
    image.SetLineColor(1, 1, 1, 1);
    image.SetFillColor(1, 1, 1, 1);
    Note();
    image.DrawText(0, 0, "x");
    image.MeasureTextWidth("x");
    Note();
    Soup exported = image.ExportImage();
    image.ImportImage(exported);
    Note();
    image.Resize(-1, 5, true);
    Note();
    Test.Print(line);
    Test.Print(exported.IsLocked() + " " + exported.CountTags());
  }
};
// expect: 0 1 1 2 3 3 4 4 5 6 7
// expect: true 0
