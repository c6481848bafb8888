#include "gsnative/GSOLibrarySpec.h"

GSOLibrarySpec* CastToLibrarySpec(BrindlemoxSpec* spec) {
  return dynamic_cast<GSOLibrarySpec*>(spec);
}
