// DataManager: the validation library's process-wide store of what the
// checks read but do not own.
//
// It holds the definitions folder ("TETData/", given to CreateInstance with
// its trailing separator), the merged definitions of "inheritance.txt",
// "kind.txt" and "container.txt", the line tables of every file of that
// folder, the user's personal details, the asset being validated (folder,
// content location, build number, configuration file name, per-asset
// flags) and the per-asset registries that the checks fill.
//
// Life: CreateInstance (start-up, before the engine) makes the one instance
// and answers true (a second call keeps the first); the first Instance call
// loads the personal details (EnsureLanguageData); DestroyInstance (shut-
// down) writes the personal details back and deletes it. Instance without
// an instance ends the process with "DataManager::Instance> datamanger not
// initialised"; Existing answers null instead, for the destructors of
// containers and tags, which may outlive it in tests.
//
// Definitions (LoadDefinitions): read once per process, on first use. The
// three files are text soups; their top-level children are merged in that
// order, a later one replacing an earlier one of the same name (children
// are shared, not copied). The merged soup is never changed afterwards:
// checks that need a changed definition work on a copy of their own.
// Then every regular file of the folder is read as lines "key value" (split
// at the first space; CR/LF cut; a line without space is a key with an empty
// value), stored under its file name; subfolders are skipped. The answer is
// true when the merged soup has content and every file could be read. A
// failed load is not retried: later calls answer the same false without
// reading again.
//
// Personal details: "personalDetails.txt" in the definitions folder, read
// by the first Instance call when the folder exists, written back at
// shut-down. EnsureLanguageData, which every validation calls, reads the
// file again only when it changed on disk since it was last read whole (its
// device, inode, size, modification or change time differ; a save replaces
// the file, so it gets a new inode): a long-lived process sees an edit of
// the file at its next validation without reading it every time. A file that exists but could not be read is never
// overwritten, so its contents are not lost.
//
// Per-asset registries (keyed lists, item set and list): raw pointers to
// the containers and tags of the asset under check. A container or tag
// removes itself from all of them when it is destroyed (ForgetContainer,
// ForgetTag), and SetAssetFolder clears them, so no pointer outlives its
// object or its asset.
//
// Meshes loaded for checks (meshRegistry): one per container, owned here;
// a container's mesh goes when the container does (ForgetContainer) and
// every mesh goes when the manager is pointed at the next asset, so no mesh
// data outlives its asset. While registered, a mesh hangs under the check
// scene's root and, when there is a check light, is lit by it.
//
// Threads: no lock; start-up and shut-down on the main thread, validation of
// one asset at a time on one thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "kiv/PString.h"
#include "kiv/display/DisplayLight.h"
#include "tetlib/PersonalDetails.h"

struct EngineObjects;
class VandruResourceDatabase;

namespace Kiv {
struct Camera;
class ParallelLight;
class Particle;
class RenderKernel;
class ResourceDatabase;
}  // namespace Kiv

namespace TETLib {

// What start-up hands the data manager once the engine stands: the engine
// record (only kept), the render kernel the checks render and load through
// (the renderer root: its scene graph, caches, display and material
// manager) and the camera object, which start-up does not have (null).
// None of them is owned; each must outlive the data manager.
struct RenderContext {
  EngineObjects* engine = nullptr;
  Kiv::RenderKernel* renderer = nullptr;
  Kiv::Camera* camera = nullptr;
};

class Container;
class MeshData;
class Tag;

// One line of a list file: the text before its first space, and the rest.
struct DefinitionLine {
  Kiv::PString key;
  Kiv::PString value;
};

class DataManager {
 public:
  static bool CreateInstance(const char* dataFolder);
  static void DestroyInstance();
  static DataManager* Instance();
  static DataManager* Existing();

  DataManager(const DataManager&) = delete;
  DataManager& operator=(const DataManager&) = delete;

  // --- Start-up.
  bool EnsureLanguageData();
  // Keeps the context's engine record and sets up the check scene
  // (InitRenderGlobals).
  bool AttachEngine(const RenderContext& context);
  // The render globals of the checks (tetlib/RenderGlobals.cpp).
  // InitRenderGlobals keeps the context, makes the check scene's root
  // particle and adds it to the renderer's scene graph; with a camera it
  // also gives the camera the scene, hangs a parallel light under the root
  // and sets the display's fog. Answers true.
  virtual bool InitRenderGlobals(const RenderContext& context);
  // Once per run (until ReleaseRenderGlobals): the alpha-blend caches, the
  // dummy materials, the shared environment texture of the gloss and
  // reflect materials and the table of registered vertex types.
  bool RegisterVandruBumpVertexType();
  EngineObjects* GetEngine() const { return engine_; }
  Kiv::RenderKernel* GetRenderer() const { return renderer_; }
  Kiv::Camera* GetCamera() const { return camera_; }
  Kiv::Particle* GetCheckScene() const { return checkScene_.get(); }
  // The check light; null without a camera.
  Kiv::ParallelLight* GetCheckLight() const { return checkLight_.get(); }

  // --- Definitions.
  bool LoadDefinitions();
  const Soup& GetDefinitions() const { return definitions_; }
  // The lines of a file of the definitions folder (name with extension, as
  // the folder lists it); null when there is no such file.
  const std::vector<DefinitionLine>* FindListFile(const Kiv::PString& fileName) const;
  const Kiv::PString& GetDataFolder() const { return dataFolder_; }

  const PersonalDetails& GetPersonalDetails() const { return personalDetails_; }
  PersonalDetails& GetPersonalDetails() { return personalDetails_; }

  // --- The asset under check.
  // Points the manager at an asset: `location` is the name of the content
  // location that holds it (may be empty), `folder` the asset's folder. The
  // per-asset registries and flags are cleared, the previous location's
  // database is given back and the new one's taken (null while no folder
  // layout is set up). Answers the database taken.
  VandruResourceDatabase* SetAssetFolder(const Kiv::PString& location,
                                         const Kiv::File::Path& folder);
  const Kiv::File::Path& GetAssetFolder() const { return assetFolder_; }
  const Kiv::PString& GetAssetName() const { return assetName_; }
  void SetConfigFileName(const Kiv::PString& name) { configFileName_ = name; }
  const Kiv::PString& GetConfigFileName() const { return configFileName_; }

  // The asset's build number ("vandru-build" + 0.001; 3.4 until set).
  float GetAssetBuild() const { return assetBuild_; }
  void SetAssetBuild(float build) { assetBuild_ = build; }
  // The integer part of build x 100, which most build tests compare.
  int32_t GetAssetBuildNumber() const;

  bool GetMeshFailureReported() const { return meshFailureReported_; }
  void SetMeshFailureReported(bool flag) { meshFailureReported_ = flag; }
  bool GetReportSuppression() const { return reportSuppression_; }
  void SetReportSuppression(bool flag) { reportSuppression_ = flag; }
  // The two mode flags that the validation job sets before each asset:
  // convertTextures asks the texture folder check for the compiled texture
  // of every texture source.
  bool GetCompiledTextureCheckOff() const { return compiledTextureCheckOff_; }
  void SetCompiledTextureCheckOff(bool flag) { compiledTextureCheckOff_ = flag; }
  bool GetConvertTextures() const { return convertTextures_; }
  void SetConvertTextures(bool flag) { convertTextures_ = flag; }

  // --- Meshes loaded for checks (tetlib/CheckMeshes.cpp).
  // The file root the mesh database stands on: the asset folder.
  static const Kiv::PString& kMeshRoot();
  // The database meshes of the asset under check are requested from: a
  // database over the asset folder (names below it; rooted or climbing
  // names are refused).
  Kiv::ResourceDatabase* GetMeshDatabase();
  // Loads the mesh or animation `name` for `container` by its extension
  // (im, lm, lm.txt, pm, kin) and registers a loaded mesh under it; the
  // loaded mesh, or null. LOD meshes of most kinds get the performance
  // checks. An animation loads onto the container's own mesh, else the
  // current one.
  MeshData* LoadMeshForCheck(const Kiv::PString& name, Container* container);
  MeshData* FindMesh(const Container* container) const;
  MeshData* GetCurrentMesh() const { return currentMesh_; }
  void UnregisterMesh(const Container* container);
  size_t MeshCount() const { return meshRegistry_.size(); }

  // --- Per-asset registries.
  void AddToKeyedListA(const Kiv::PString& key, Tag* tag);
  void AddToKeyedListB(const Kiv::PString& key, Container* container);
  void AddToItemSet(Tag* tag);
  void AddToItemList2(Tag* tag);
  // True when a container listed under `key` in keyed list B bears `name`,
  // or when `name` is an attachment point of a mesh loaded for the asset
  // (whatever the key).
  bool IsNameRegistered(const Kiv::PString& name, const Kiv::PString& key) const;
  const std::vector<Tag*>* FindKeyedListA(const Kiv::PString& key) const;
  const std::vector<Tag*>& GetItemSet() const { return itemSet_; }
  const std::vector<Tag*>& GetItemList2() const { return itemList2_; }
  void ForgetContainer(const Container* container);
  void ForgetTag(const Tag* tag);
  void ClearAssetRegistries();
  // True when no registry holds anything (for tests and diagnostics).
  bool RegistriesEmpty() const;

 private:
  using PStringLess = decltype(&Kiv::PString::TextLess);

  explicit DataManager(const char* dataFolder);
  virtual ~DataManager();

  void RegisterMesh(std::unique_ptr<MeshData> mesh, Container* container);
  void CheckLODPerformance(MeshData& mesh, Container& container);

  void Shutdown();
  // Takes the check scene out of the scene graph and deletes the scene and
  // its light; the camera is let go (its scene cleared when it is ours).
  void ReleaseCheckScene();
  bool ReadDefinitionFiles();
  bool LoadListFiles();
  Kiv::String PersonalDetailsPath() const;

  bool definitionsLoaded_ = false;
  bool definitionsRead_ = false;
  bool personalDetailsLoaded_ = false;
  bool personalDetailsUnreadable_ = false;
  // What the file was when it was last read whole (FileStamp in the .cpp);
  // empty when it has not been.
  std::vector<int64_t> personalDetailsStamp_;
  bool meshFailureReported_ = false;
  bool reportSuppression_ = false;
  bool compiledTextureCheckOff_ = false;
  bool convertTextures_ = false;
  Kiv::PString dataFolder_;
  Kiv::File::Path assetFolder_;
  Kiv::PString assetName_;
  Kiv::PString configFileName_;
  float assetBuild_ = 3.4f;
  Soup definitions_;
  EngineObjects* engine_ = nullptr;
  Kiv::RenderKernel* renderer_ = nullptr;
  Kiv::Camera* camera_ = nullptr;
  VandruResourceDatabase* sharedEntry_ = nullptr;
  PersonalDetails personalDetails_;
  std::map<Kiv::PString, std::vector<Tag*>, PStringLess> keyedListA_{&Kiv::PString::TextLess};
  std::map<Kiv::PString, std::vector<Container*>, PStringLess> keyedListB_{&Kiv::PString::TextLess};
  std::vector<Tag*> itemSet_;
  std::vector<Tag*> itemList2_;
  std::unordered_map<Kiv::PString, std::vector<DefinitionLine>> listFiles_;
  std::unique_ptr<Kiv::ResourceDatabase> meshDatabase_;
  std::map<const Container*, std::unique_ptr<MeshData>> meshRegistry_;
  MeshData* currentMesh_ = nullptr;
  std::unique_ptr<Kiv::Particle> checkScene_;
  std::unique_ptr<Kiv::ParallelLight> checkLight_;
  // The check light as the scene's light list of the meshes' instances.
  Kiv::DisplayLightList checkLights_;
};

}  // namespace TETLib
