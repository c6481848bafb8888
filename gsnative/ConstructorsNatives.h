// The "ConstructorsBase" natives (Constructors.gsl): NewSoup gives a new
// empty, unlocked Soup object and NewKUIDList a new empty, unlocked
// KUIDList object, each made in the calling context; null when none can be
// made. NewImage stays unbound until images exist.
#pragma once

#include "gsruntime/GSMachine.h"

void RegisterConstructorsNatives(GSMachine& machine);
