// Constructors.gs: new empty native objects for scripts, compiled into
// "Constructors.gsl".
include "Soup.gs"
include "KUIDList.gs"
include "Image.gs"

static class ConstructorsBase {
  public native Soup NewSoup();
  public native KUIDList NewKUIDList();
  public native Image NewImage();
};
