// The render kernel: the null renderer. It draws nothing and holds no
// device; it exists so that the engine record is complete and so that code
// which asks for a render kernel gets one.
//
// Init answers false when the OS is null or its options do not select a
// usable renderer (kiv/OS.h HasUsableRenderer); the caller may then pass
// "-NullRender" through the options and call Init again. Owned by the engine
// record and deleted through its virtual destructor. Not thread-safe.
//
// The kernel owns the null display (kiv/display/Display.h), the manager
// of the rendering caches that materials share (released before the
// display) and the material manager that meshes make their materials with
// (a plain Kiv::MaterialManager until one is set; null after setting none),
// and the scene graph of the scenes it draws (kiv/scene/SceneGraph.h).
// RemoveDisplay leaves the kernel without a display, as one whose renderer
// failed.
#pragma once

#include <memory>
#include <utility>

#include "kiv/display/Display.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/display/RenderingCache.h"
#include "kiv/scene/SceneGraph.h"

namespace Kiv {

class OS;

class RenderKernel {
 public:
  // `sceneGraph` is unused (null in the tool); `frameRate` is kept.
  RenderKernel(void* sceneGraph, float frameRate);
  virtual ~RenderKernel();
  RenderKernel(const RenderKernel&) = delete;
  RenderKernel& operator=(const RenderKernel&) = delete;

  bool Init(OS* os, void* displaySelector);
  bool IsInitialised() const { return initialised_; }
  float GetFrameRate() const { return frameRate_; }
  Display* GetDisplay() const { return display_.get(); }
  void RemoveDisplay();
  RenderingCacheManager* GetRenderingCacheManager() { return &caches_; }
  SceneGraph* GetSceneGraph() { return &scenes_; }
  MaterialManager* GetMaterialManager() const { return materials_.get(); }
  void SetMaterialManager(std::unique_ptr<MaterialManager> manager) {
    materials_ = std::move(manager);
  }

 private:
  float frameRate_;
  bool initialised_ = false;
  std::unique_ptr<Display> display_;
  RenderingCacheManager caches_;
  SceneGraph scenes_;
  std::unique_ptr<MaterialManager> materials_ = std::make_unique<MaterialManager>();
};

// The render kernel of the run (null outside start-up .. shut-down).
RenderKernel* GetRenderKernel();
void SetRenderKernel(RenderKernel* kernel);

}  // namespace Kiv
