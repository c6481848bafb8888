// Drawing text costs budget by the glyphs it renders: a loop drawing a
// large text ends in the budget.
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
    for (i = 0; i < 300; i++) image.DrawText(0, 0, s);
    Test.Print("not reached");
  }
};
// expect runtime error: Thread Exception: ER_Timeout, line 14, file error_work_image_draw_text.gs
