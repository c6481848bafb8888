#include "foundation/spec/BXSpecFactory.h"

#include "foundation/spec/SpecRegistry.h"

BXSpecFactory::~BXSpecFactory() {
  SpecRegistry::ForgetFactory(this);
}
