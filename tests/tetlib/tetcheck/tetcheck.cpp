// tetcheck: the test host that walks asset configurations against a set of
// validation definitions.
//
//   tetcheck [--root DIR] TETDATA-FOLDER ASSET-FOLDER...
//
// Loads the definitions of TETDATA-FOLDER once, then checks each asset
// folder in turn in this process: reads its "config.txt", takes the build
// from "vandru-build" (1.3 when missing, plus 0.001) and the kind from
// "kind", walks the configuration against the kind's definition, runs the
// validators of every tag (each container's tags, then its children, each
// child's container validators after it, the root's last) and prints the
// errors and warnings as the results printer does ("- " errors, "! "
// warnings, the asset's KUID, " : ", the text), then the asset's
// "OK (n Errors, m Warnings)" line.
//
// The data manager writes "personalDetails.txt" into TETDATA-FOLDER when the
// program ends: give it a copy of the definitions. Interface text comes
// from DIR/Data/InterfaceText.txt with --root, else from the source tree's
// data/InterfaceText.txt.
//
// Exit status: 0 when every asset was checked (whatever was found); 2 for
// bad usage or definitions that cannot be read.
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "foundation/text/KUID.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "tetlib/Container.h"
#include "tetlib/MessageText.h"
#include "tetlib/TETLib.h"
#include "tetlib/Tag.h"

namespace {

struct Options {
  std::string root;
  std::string definitions;
  std::vector<std::string> assets;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  int i = 1;
  for (; i < argc && std::string(argv[i]).rfind("--", 0) == 0; ++i) {
    const std::string flag = argv[i];
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

// The checks that run over a walked tree: the validators of each tag, then
// each child with its container validators after it.
void RunTreeChecks(TETLib::Container& container) {
  for (const std::unique_ptr<TETLib::Tag>& tag : container.Tags()) tag->RunValidators();
  for (const std::unique_ptr<TETLib::Container>& child : container.Children()) {
    RunTreeChecks(*child);
    child->RunChildChecks();
  }
}

// Walks the configuration and runs the checks; answers the checked tree
// (null when the kind could not be checked), which the findings of its
// objects outlive only as long as it stands.
std::unique_ptr<TETLib::Container> WalkAsset(const Soup& config) {
  TETLib::DataManager& manager = *TETLib::DataManager::Instance();
  TETLib::ErrorHandler& findings = TETLib::Findings();
  manager.SetAssetBuild(config.GetNamedTagAsFloat(Kiv::PString("vandru-build"), 1.3f) + 0.001f);
  const Kiv::PString kind = config.GetNamedTag(Kiv::PString("kind"));
  if (kind.Empty()) {
    findings.ReportError(TETLib::TetMessage("$tet_container_nokindtag"));
    return nullptr;
  }
  const Soup definition = TETLib::Container::FindTopLevelDefinition(kind);
  if (definition.Empty()) {
    findings.ReportError(TETLib::TetMessage("$tet_container_nokindspecification"));
    return nullptr;
  }
  auto root = std::make_unique<TETLib::Container>();
  root->SetSoup(config);
  root->SetIndex(0);
  root->SetName(kind);
  root->SetType(kind);
  root->SetMeshChecks(true);
  root->ApplyDefinition(definition, true);
  TETLib::Container::BuildContainerValidators(*root, definition);
  root->ValidateTags(config, definition, *root);
  RunTreeChecks(*root);
  root->RunChildChecks();
  return root;
}

void PrintFindings(const Soup& config) {
  ResultsLog log;
  const PropertyRef subject = AssetSubject(config.GetNamedTagAsKUID(Kiv::PString("kuid"), kNullKUID));
  for (const TETLib::ErrorHandler::Record& record : TETLib::Findings().GetList()) {
    if (record.level != TETLib::ErrorHandler::kMessage) log.AddResult(record.level, subject, record.text.Str());
  }
  PrintCommandResults(log, std::cout);
}

void CheckAsset(const std::string& folder) {
  const std::string path = AbsoluteFolder(folder);
  TETLib::DataManager& manager = *TETLib::DataManager::Instance();
  manager.SetAssetFolder(Kiv::PString(), Kiv::File::Path(path));
  manager.SetConfigFileName(Kiv::PString("config.txt"));
  TETLib::Findings().Clear();
  Soup config;
  Soup::LoadFromFile(Kiv::PString(), path + "config.txt", config, false);
  std::unique_ptr<TETLib::Container> root = WalkAsset(config);
  PrintFindings(config);
  root.reset();
  TETLib::Findings().Clear();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::cerr << "usage: tetcheck [--root DIR] TETDATA-FOLDER ASSET-FOLDER...\n";
    return 2;
  }
  const std::string textFolder = options.root.empty() ? std::string(VU_SOURCE_DIR) + "/data" : options.root + "/Data";
  Kiv::File::Subst(Kiv::PString("data"), textFolder);

  TETLib::ErrorHandler::CreateInstance();
  TETLib::DataManager::CreateInstance(AbsoluteFolder(options.definitions).c_str());
  int status = 0;
  if (!TETLib::DataManager::Instance()->LoadDefinitions()) {
    std::cerr << "tetcheck: unable to read the definitions in '" << options.definitions << "'\n";
    status = 2;
  } else {
    for (const std::string& asset : options.assets) CheckAsset(asset);
  }
  TETLib::ReleaseRenderGlobals();
  TETLib::DataManager::DestroyInstance();
  TETLib::ErrorHandler::DestroyInstance();
  std::cout.flush();
  return status;
}
