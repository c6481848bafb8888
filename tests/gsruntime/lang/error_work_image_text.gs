// Measuring and drawing text costs budget by the characters handled, so a
// loop over a large text ends in the budget long before it could stall.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    string s = "w";
    int i;
    for (i = 0; i < 16; i++) s = s + s;
    Image image = ConstructorsBase.NewImage();
    image.Clear(64, 64);
    image.DrawText(0, 0, s);
    Test.Print("drawn " + (image.MeasureTextWidth(s) > 0));
    for (i = 0; i < 300; i++) image.MeasureTextWidth(s + s + s + s);
    Test.Print("not reached");
  }
};
// expect: drawn true
// expect runtime error: Thread Exception: ER_Timeout, line 16, file error_work_image_text.gs
