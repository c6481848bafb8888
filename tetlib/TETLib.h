// The validation library's entry points for the rest of the tool.
//
// Start-up makes the error handler, then the data manager on
// "<program folder>/TETData/", then (once the engine stands) attaches the
// engine record to the data manager. Shut-down releases the render globals,
// then destroys the data manager (which writes the personal details back),
// then the error handler. See tetlib/ErrorHandler.h and
// tetlib/DataManager.h for the two objects.
//
// Validating one asset (the validation job, under its validation lock):
// make a Container, point the data manager at the asset's folder
// (SetAssetFolder, SetConfigFileName), set or clear its conversion flag,
// call BeginAssetValidation and, when it answers true, RunAssetChecks; then
// PurgeUnusedResources, and destroy the container.
//
// BeginAssetValidation(location, configPath, log, container):
//   `location` names the content location that holds the asset (may be
//   empty), `configPath` is the full path of its configuration file.
//   Loads the definitions when they are not loaded yet, points the data
//   manager at the configuration's folder, clears the error handler and
//   reads the configuration (an unreadable one reads as empty). An asset
//   for a build above 3.4 gets the error "$tet_future_asset"; one of the
//   kind "water" or "tintgarth-skin" (any case) the warning
//   "$tet_obsolete_water" / "$tet_obsolete_tintgarth"; either answers false
//   at once. Otherwise the configuration is checked and walked by
//   `container` (Container::ValidateAssetRoot; a container of its own,
//   destroyed before returning, when `container` is null); its findings go
//   into `log` and the answer is the walk's.
// RunAssetChecks(container, log, exported):
//   Runs the checks that follow the walk: the texture folder check of the
//   asset's folder, the export of the checked container (into `exported`
//   when given) and, when the export succeeded, the root's container
//   checks. True when every check passed; then nothing goes into `log`,
//   so warnings reported by these checks are dropped. Otherwise their
//   findings go into `log` and the answer is false. A container whose
//   configuration had no tags passes at once, with nothing reported.
// BeginAssetValidation always writes its findings, whatever its answer.
// Findings go into the log in the order they were made: level 3 as errors,
// level 2 as warnings, messages (level 0) not at all; each has the asset's
// "kuid" (the null KUID when missing) as its subject. Both run on the
// thread that validates, one asset at a time.
//
// ReleaseRenderGlobals gives back the dummy materials of the checks and the
// three alpha-blend caches, empties the vertex-type table and clears the
// registered flag, so a later start-up registers again. The check scene
// and its light go with the data manager (DestroyInstance), after it.
// PurgeUnusedResources frees the engine's cached resources that nothing
// uses any more (after each check run); nothing without a resource system.
// Both run on the thread that validates, or the main thread at shut-down.
#pragma once

#include <cstdint>
#include <vector>

#include "kiv/File.h"
#include "kiv/PString.h"
#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"

class ResultsLog;
class Soup;

namespace Kiv {
class Material;
class RenderKernel;
}  // namespace Kiv

namespace TETLib {

class Container;

bool BeginAssetValidation(const Kiv::PString& location, Kiv::File::Path configPath, ResultsLog& log,
                          Container* container);
bool RunAssetChecks(Container& container, ResultsLog& log, Soup* exported = nullptr);

void ReleaseRenderGlobals();
// The dummy materials that RegisterVandruBumpVertexType could make; one by
// its type name ("m.gloss"), null when it was not made.
size_t DummyMaterialCount();
Kiv::Material* FindDummyMaterial(const char* typeName);
// The vertex types of "m.notex", "m.onetex", "m.gloss" and "m.reflect", in
// that order, of those that were made (at most four).
std::vector<uint32_t> RegisteredVertexTypes();
// The renderer root InitRenderGlobals was given (null before, and after the
// data manager goes).
Kiv::RenderKernel* GetRendererRoot();

}  // namespace TETLib

void PurgeUnusedResources();
