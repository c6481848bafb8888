// DrawImage refuses a null source image.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Image image = ConstructorsBase.NewImage();
    image.Clear(4, 4);
    image.DrawImage(0, 0, null);
  }
};
// expect runtime error: null object at parameter 3
