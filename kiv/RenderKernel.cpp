#include "kiv/RenderKernel.h"

#include "kiv/OS.h"

namespace Kiv {

namespace {
RenderKernel* gRenderKernel = nullptr;
}  // namespace

RenderKernel::RenderKernel(void* /*sceneGraph*/, float frameRate)
    : frameRate_(frameRate), display_(std::make_unique<Display>()) {}

RenderKernel::~RenderKernel() {
  caches_.RemoveAll();
}

void RenderKernel::RemoveDisplay() {
  display_.reset();
}

bool RenderKernel::Init(OS* os, void* /*displaySelector*/) {
  initialised_ = os != nullptr && HasUsableRenderer(os->GetOptions());
  return initialised_;
}

RenderKernel* GetRenderKernel() {
  return gRenderKernel;
}
void SetRenderKernel(RenderKernel* kernel) {
  gRenderKernel = kernel;
}

}  // namespace Kiv
