// The influence matrices that skinned chunks read when drawn.
#include "kiv/display/GeometryChunk.h"

namespace Kiv {

bool GeometryChunk::AssignInfluenceMatrix(uint32_t index, const Matrix4* matrix) {
  if (index >= kMaxInfluenceMatrices) return false;
  if (assignedMatrices_.size() <= index) assignedMatrices_.resize(size_t(index) + 1, nullptr);
  assignedMatrices_[index] = matrix;
  return true;
}

const Matrix4* GeometryChunk::GetInfluenceMatrix(uint32_t index) const {
  return index < assignedMatrices_.size() ? assignedMatrices_[index] : nullptr;
}

}  // namespace Kiv
