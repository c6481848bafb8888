#include "kiv/display/ReflectiveMaterial.h"

#include "kiv/display/Display.h"

namespace Kiv {

void ReflectiveMaterial::ChangeTexGen(Display* display, bool noVertexProgram) {
  if (!noVertexProgram || !reflection_) return;
  const bool cube = reflection_->kind == 1;
  display->SetTexCoordGeneration(1, cube ? 2 : 1);
  modeFlags_ |= cube ? 2u : 1u;
}

void ReflectiveMaterial::SetSphericalTexureCoordinates(Display* display, GeometryChunk* /*chunk*/,
                                                       const Matrix4* /*matrix*/) {
  display->RecordLine("SphereCoordinates");
}

}  // namespace Kiv
