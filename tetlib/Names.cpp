#include "tetlib/Names.h"

namespace TETLib {

const Names& Names::Get() {
  // Never destroyed: containers and tags may be released after static
  // destructors have run.
  static const Names* names = new Names();
  return *names;
}

}  // namespace TETLib
