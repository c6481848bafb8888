#include "foundation/BXSpecFactory.h"

#include "foundation/SpecRegistry.h"

BXSpecFactory::~BXSpecFactory() { SpecRegistry::ForgetFactory(this); }
