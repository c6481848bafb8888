// "compresstexture": compiles the texture sources below a folder.
#include "cli/CommandArgs.h"
#include "cli/Commands.h"
#include "kiv/File.h"
#include "render/textures/SourceNamesOnSignal.h"
#include "render/textures/TextureConversion.h"

int32_t CompressTextureCommand(ResultsLog& log, EngineObjects& /*engine*/, int argc, char** argv) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing AssetID parameter.");
    return kCommandFailed;
  }
  Kiv::File::Path folder = ArgumentPath(argc, argv, 2);
  folder.Normalize();
  constexpr uint32_t kAllConverted = 2;
  const SourceNamesOnSignal namesBackOnSignal;
  return ConvertTextures(Kiv::PString(), folder, log) == kAllConverted ? kCommandSucceeded
                                                                       : kCommandFailed;
}
