// The "ConstructorsBase" natives (Constructors.gsl): NewSoup gives a new
// empty, unlocked Soup object, NewKUIDList a new empty, unlocked KUIDList
// object and NewImage a new Image without bitmap, each made in the calling
// context; null when none can be made.
#pragma once

#include "gsruntime/GSMachine.h"

void RegisterConstructorsNatives(GSMachine& machine);
