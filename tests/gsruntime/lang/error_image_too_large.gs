// Image sizes are bounded: a side above 8192 pixels, or more than 16777216
// pixels in all, stops the script and leaves the image as it was.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Image image = ConstructorsBase.NewImage();
    image.Clear(8192, 2048);
    Test.Print(image.GetWidth() + "x" + image.GetHeight());
    image.Resize(100000, 100000, false);
  }
};
// expect: 8192x2048
// expect runtime error: Image.Resize> image too large
