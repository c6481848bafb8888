// The validation library's entry points for the rest of the tool.
//
// Start-up makes the error handler, then the data manager on
// "<program folder>/TETData/", then (once the engine stands) attaches the
// engine record to the data manager. Shut-down releases the render globals,
// then destroys the data manager (which writes the personal details back),
// then the error handler. See tetlib/ErrorHandler.h and
// tetlib/DataManager.h for the two objects.
//
// ReleaseRenderGlobals gives back the render references of the checks; it
// does nothing while none were made (meshes are not loaded for checks yet).
// PurgeUnusedResources frees the engine's cached resources that nothing
// uses any more (after each check run); nothing without a resource system.
// Both run on the thread that validates, or the main thread at shut-down.
#pragma once

#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"

namespace TETLib {

void ReleaseRenderGlobals();

}  // namespace TETLib

void PurgeUnusedResources();
