// tetcheck: the test host that validates asset folders against a set of
// validation definitions, as the validation job does.
//
//   tetcheck [--root DIR] [--export] TETDATA-FOLDER ASSET-FOLDER...
//
// Loads the definitions of TETDATA-FOLDER once, then validates each asset
// folder in turn in this process through the validation entry
// (TETLib::BeginAssetValidation, then TETLib::RunAssetChecks when that
// answers true), without script compilation. The configuration is the
// folder's "config.chump", else its "config.txt". The folders belong to no
// content location and no compiled textures are asked for. Meshes named by
// the configurations are loaded through a headless render kernel. For each asset
// it prints the errors and warnings as the results printer does ("- "
// errors, "! " warnings, the asset's KUID, " : ", the text), then the
// asset's "OK (n Errors, m Warnings)" line; with --export, then the
// exported soup in the text form (without its byte-order mark, each line
// ended by LF alone) between the lines "+ Start of export" and
// "+ End of export" (nothing between them when the checks did not run).
//
// The data manager writes "personalDetails.txt" into TETDATA-FOLDER when the
// program ends: give it a copy of the definitions. Interface text comes
// from DIR/Data/InterfaceText.txt with --root, else from the source tree's
// data/InterfaceText.txt.
//
// A folder holding a pipe, socket or device, or a link that leads out of
// it, is refused as the tool refuses it (RefusedFolderEntries): an error
// per such entry, and no check runs. The checks read the folder confined
// to it (Kiv::ConfinedFolder): such an entry that the search did not name
// (deeper than it looks) is refused as it is read, with the same error,
// and never waited on.
//
// Exit status: 0 when every asset was validated (whatever was found); 2 for
// bad usage or definitions that cannot be read.
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "foundation/layout/AssetFolderEntries.h"
#include "foundation/soup/PropertyRef.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/FileConfinement.h"
#include "kiv/RenderKernel.h"
#include "tetlib/Container.h"
#include "tetlib/TETLib.h"

namespace {

struct Options {
  std::string root;
  bool exportSoup = false;
  std::string definitions;
  std::vector<std::string> assets;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  int i = 1;
  for (; i < argc && std::string_view(argv[i]).substr(0, 2) == "--"; ++i) {
    const std::string_view flag = argv[i];
    if (flag == "--export") {
      options->exportSoup = true;
      continue;
    }
    if (flag != "--root" || i + 1 >= argc) return false;
    options->root = argv[++i];
  }
  if (argc - i < 2) return false;
  options->definitions = argv[i++];
  for (; i < argc; ++i) options->assets.push_back(argv[i]);
  return true;
}

std::string AbsoluteFolder(const std::string& path) {
  std::string folder = std::filesystem::absolute(path).lexically_normal().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// The text form of a soup without its byte-order mark, lines ended by LF.
void PrintSoup(const Soup& soup) {
  TBuffer buffer;
  TextSoup::Write(buffer, soup);
  const Kiv::DynamicBuffer& data = *buffer.GetData();
  std::string_view text(reinterpret_cast<const char*>(data.Data()), data.DataLength());
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.substr(0, 2) == "\r\n") text.remove_prefix(2);
  for (const char c : text) {
    if (c != '\r') std::cout << c;
  }
}

void ValidateAsset(const std::string& asset, bool exportSoup) {
  const std::string folder = AbsoluteFolder(asset);
  const char* configName =
      Kiv::File::Exists(folder + "config.chump") ? "config.chump" : "config.txt";
  TETLib::DataManager& manager = *TETLib::DataManager::Instance();
  TETLib::Container container;
  manager.SetAssetFolder(Kiv::PString(), Kiv::File::Path(folder));
  manager.SetConfigFileName(Kiv::PString(configName));
  manager.SetCompiledTextureCheckOff(false);
  manager.SetConvertTextures(false);
  ResultsLog log;
  Soup exported;
  // As the tool: a folder holding a pipe, device or a link out of it is
  // refused before anything is opened.
  const std::vector<std::string> refused = RefusedFolderEntries(folder);
  for (const std::string& text : refused) log.AddResult(ResultsLog::kError, PropertyRef(), text);
  if (refused.empty()) {
    // Every read below the folder is confined to it, as in the tool.
    Kiv::ConfinedFolder confined(folder);
    if (TETLib::BeginAssetValidation(Kiv::PString(), Kiv::File::Path(folder + configName), log,
                                     &container)) {
      TETLib::RunAssetChecks(container, log, &exported);
    }
    for (const std::string& text : RefusedReadTexts(confined))
      log.AddResult(ResultsLog::kError, PropertyRef(), text);
  }
  PurgeUnusedResources();
  PrintCommandResults(log, std::cout);
  if (!exportSoup) return;
  std::cout << "+ Start of export\n";
  PrintSoup(exported);
  std::cout << "+ End of export\n";
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::cerr << "usage: tetcheck [--root DIR] [--export] TETDATA-FOLDER ASSET-FOLDER...\n";
    return 2;
  }
  const std::string textFolder =
      options.root.empty() ? std::string(VU_SOURCE_DIR) + "/data" : options.root + "/Data";
  Kiv::File::Subst(Kiv::PString("data"), textFolder);

  // The headless render kernel the mesh checks load through.
  Kiv::RenderKernel kernel(nullptr, 8.0f);
  Kiv::SetRenderKernel(&kernel);
  TETLib::ErrorHandler::CreateInstance();
  TETLib::DataManager::CreateInstance(AbsoluteFolder(options.definitions).c_str());
  TETLib::DataManager::Instance()->AttachEngine(TETLib::RenderContext{nullptr, &kernel, nullptr});
  TETLib::DataManager::Instance()->RegisterVandruBumpVertexType();
  int status = 0;
  if (!TETLib::DataManager::Instance()->LoadDefinitions()) {
    std::cerr << "tetcheck: unable to read the definitions in '" << options.definitions << "'\n";
    status = 2;
  } else {
    for (const std::string& asset : options.assets) ValidateAsset(asset, options.exportSoup);
  }
  TETLib::ReleaseRenderGlobals();
  TETLib::DataManager::DestroyInstance();
  TETLib::ErrorHandler::DestroyInstance();
  Kiv::SetRenderKernel(nullptr);
  std::cout.flush();
  return status;
}
