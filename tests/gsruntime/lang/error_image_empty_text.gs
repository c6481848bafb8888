// Measuring or drawing text refuses an empty text.
// root: standard
include "test.gs"
include "Constructors.gs"

class Main {
  void Run() {
    Image image = ConstructorsBase.NewImage();
    Test.Print(image.MeasureTextWidth("a") > 0);
    image.MeasureTextWidth("");
  }
};
// expect: true
// expect runtime error: empty string at parameter 1
