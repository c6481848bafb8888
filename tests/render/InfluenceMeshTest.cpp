// The influence mesh: binding, display and software skinning of a two-bone
// arm, and the skeleton modifier and animator that pose it.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "kiv/ResourceDatabase.h"
#include "kiv/basics/Matrix4.h"
#include "kiv/scene/Animator.h"
#include "kiv/scene/SkeletonModifier.h"
#include "render/instances/VandruInfluenceMesh.h"
#include "tests/support/CapturedLog.h"
#include "tests/support/TempFolder.h"

namespace {

using Kiv::Matrix4;
using Kiv::PString;

constexpr float kHalf = 0.70710678f;  // sin 45 = cos 45
constexpr Kiv::Matrix3 kIdentity3{1, 0, 0, 0, 1, 0, 0, 0, 1};

// The arm: "root" at the origin and "arm" 2 above it, both unrotated.
// Vertex 0 hangs on root, 1 on arm, 2 half on each; vertex 3 is named by
// no record; the records for vertex 4 (past the chunk) and chunk 5 (past
// the chunks) are skipped.
struct Arm {
  explicit Arm(uint8_t hardware) {
    skeleton->name = PString("root");
    Kiv::ParticleBone* arm = skeleton->Add(std::make_unique<Kiv::ParticleBone>());
    arm->name = PString("arm");
    arm->position = {0, 2, 0};
    influences[0].name = PString("root");
    influences[0].orientation = kIdentity3;
    influences[0].groups = {{0, {{0, {1, 1, 0, 0}}, {2, {0.5f, 0, 3, 0}}, {4, {1, 9, 9, 9}}}},
                            {5, {{0, {1, 9, 9, 9}}}}};
    influences[1].name = PString("arm");
    influences[1].parentName = PString("root");
    influences[1].position = {0, 2, 0};
    influences[1].orientation = kIdentity3;
    influences[1].groups = {{0, {{1, {1, 0, 1, 0}}, {2, {0.5f, 0, 1, 0}}}}};
    Kiv::StandardChunkHint hint(0, 0);
    chunk = Kiv::Ref<Kiv::GeometryChunk>(Kiv::GeometryChunk::Create(4, 0, 0, 0, 0, hint));
    float* p = chunk->GetFloats(Kiv::GeometryChunk::kPosition);
    for (int i = 0; i < 12; ++i) p[i] = 7.0f;  // Overwritten by every software update.
    mesh.InitFromInfluences(2, influences, hardware, 1, &chunk);
    mesh.BindSkeleton(skeleton.get());
  }
  // Turns the arm 90 degrees about z (x goes to y).
  void TurnArm() { modifier.SetBoneOrientation(PString("arm"), {0, 0, kHalf, kHalf}); }
  std::array<float, 3> Vertex(int v) {
    const float* p = chunk->GetFloats(Kiv::GeometryChunk::kPosition) + 3 * v;
    return {p[0], p[1], p[2]};
  }

  std::unique_ptr<Kiv::ParticleBone> skeleton = std::make_unique<Kiv::ParticleBone>();
  Kiv::SkeletonModifier modifier{skeleton.get()};
  Kiv::InfluenceDefinition influences[2];
  Kiv::Ref<Kiv::GeometryChunk> chunk;
  VandruInfluenceMesh mesh;
};

void ExpectMatrixNear(const Matrix4& actual, const Matrix4& expected, const char* what) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], 1e-5f) << what << " " << i;
}

void ExpectVertexNear(const std::array<float, 3>& actual, const std::array<float, 3>& expected,
                      int vertex) {
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_NEAR(actual[axis], expected[axis], 1e-5f) << "vertex " << vertex << " axis " << axis;
}

TEST(InfluenceMesh, TurningTheChildGivesInverseBindTimesWorld) {
  Arm arm(1);
  ASSERT_EQ(arm.mesh.GetRootNode(), &arm.mesh.GetNode(0));
  // Bind: the arm's world is a translation by (0, 2, 0).
  ExpectMatrixNear(arm.mesh.GetNode(1).inverseBindMatrix, Matrix4::Translation(0, -2, 0), "bind");
  arm.TurnArm();
  arm.mesh.Update(1, &arm.chunk, 1, 0);
  // Inverse bind T(0, -2, 0), then R, then T(0, 2, 0).
  const Matrix4 skin{{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 2, 2, 0, 1}};
  ExpectMatrixNear(arm.mesh.GetNode(1).skinMatrix, skin, "arm");
  ExpectMatrixNear(arm.mesh.GetNode(0).skinMatrix, Matrix4{}, "root");
  // The chunk reads the skin matrices in place, node i as matrix i.
  EXPECT_EQ(arm.chunk->GetInfluenceMatrix(1), &arm.mesh.GetNode(1).skinMatrix);
  EXPECT_EQ(arm.chunk->GetInfluenceMatrix(0), &arm.mesh.GetNode(0).skinMatrix);
  // A scaled bone scales its own rows only.
  arm.skeleton->FindByName(PString("arm"))->kind = Kiv::ParticleBone::kScaledBone;
  arm.skeleton->FindByName(PString("arm"))->scale = {2, 1, 1};
  arm.mesh.Update(1, &arm.chunk, 2, 0);
  const Matrix4 scaled{{0, 2, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 2, 2, 0, 1}};
  ExpectMatrixNear(arm.mesh.GetNode(1).skinMatrix, scaled, "scaled");
  arm.skeleton->FindByName(PString("arm"))->scaleSuppressed = 1;
  arm.mesh.Update(1, &arm.chunk, 3, 0);
  ExpectMatrixNear(arm.mesh.GetNode(1).skinMatrix, skin, "suppressed");
}

TEST(InfluenceMesh, SoftwareSkinningMovesVerticesByTheirWeights) {
  Arm arm(0);
  arm.mesh.Update(1, &arm.chunk, 1, 0);
  ExpectVertexNear(arm.Vertex(1), {0, 3, 0}, 1);
  arm.TurnArm();
  arm.mesh.Update(1, &arm.chunk, 2, 0);
  // Arm-local (0, 1, 0) turns to (-1, 0, 0) and moves up by 2.
  ExpectVertexNear(arm.Vertex(0), {1, 0, 0}, 0);
  ExpectVertexNear(arm.Vertex(1), {-1, 2, 0}, 1);
  ExpectVertexNear(arm.Vertex(2), {-0.5f, 2.5f, 0}, 2);
  ExpectVertexNear(arm.Vertex(3), {0, 0, 0}, 3);
}

TEST(InfluenceMesh, FrameStampsSkipRepeatedUpdates) {
  Arm arm(1);
  arm.mesh.Update(1, &arm.chunk, 5, 0);
  arm.TurnArm();
  arm.mesh.Update(1, &arm.chunk, 5, 0);  // Same frame: nothing.
  EXPECT_NEAR(arm.mesh.GetNode(1).skinMatrix.m[0], 1, 1e-6f);
  arm.mesh.Update(1, &arm.chunk, 0, 0);  // Stamp 0 always runs.
  EXPECT_NEAR(arm.mesh.GetNode(1).skinMatrix.m[0], 0, 1e-6f);
  arm.modifier.SetBoneOrientation(PString("arm"), {0, 0, 0, 1});
  arm.mesh.Update(1, &arm.chunk, 0, 0);
  EXPECT_NEAR(arm.mesh.GetNode(1).skinMatrix.m[0], 1, 1e-6f);
  arm.mesh.Update(1, &arm.chunk, 9, 7);  // A group index the nodes lack: nothing.
  EXPECT_EQ(arm.mesh.GetFrameStamps()[0], 0u);

  VandruInfluenceMesh copy;
  copy.Create(arm.mesh);
  EXPECT_EQ(copy.GetFrameStamps(), std::vector<uint32_t>(2, 0));
  EXPECT_EQ(copy.GetRootNode(), &copy.GetNode(0));
  ASSERT_EQ(copy.GetRootNode()->children.size(), 1u);
  EXPECT_EQ(copy.GetRootNode()->children[0], &copy.GetNode(1));
  EXPECT_EQ(copy.GetNode(1).bone, arm.mesh.GetNode(1).bone);
  EXPECT_EQ(copy.GetSkeleton(), nullptr);
}

TEST(InfluenceMesh, LaterParentlessBoneIsTheRootAndUnfoundBonesKeepTheirBindPose) {
  Kiv::InfluenceDefinition influences[3];
  const char* names[3][2] = {{"a", ""}, {"b", ""}, {"c", "a"}};
  for (int i = 0; i < 3; ++i) {
    influences[i].name = PString(names[i][0]);
    influences[i].parentName = PString(names[i][1]);
    influences[i].orientation = kIdentity3;
    influences[i].position = {float(i), 0, 0};
  }
  VandruInfluenceMesh mesh;
  VUTest::CapturedLog log;
  mesh.InitFromInfluences(3, influences, 1, 0, nullptr);
  EXPECT_EQ(mesh.GetRootNode(), &mesh.GetNode(1));
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{
                "VandruInfluenceMesh::LinkNodes> bone 'a' is left out: 'b' is the root"});
  Kiv::ParticleBone skeleton;
  skeleton.name = PString("a");
  mesh.BindSkeleton(&skeleton);
  mesh.Update(0, nullptr, 0, 0);
  // "b" has no bone: its world is its bind pose, without inverse bind.
  ExpectMatrixNear(mesh.GetNode(1).skinMatrix, Matrix4::Translation(1, 0, 0), "b");
  // "a" and its child are outside the tree and never touched.
  ExpectMatrixNear(mesh.GetNode(0).skinMatrix, Matrix4{}, "a");
  ExpectMatrixNear(mesh.GetNode(2).skinMatrix, Matrix4{}, "c");
}

TEST(Animator, AddNeedsBonesAndAFile) {
  VUTest::TempFolder dir;
  dir.Put("walk.kin", "x");
  Kiv::ResourceDatabase files{PString()};
  Kiv::ParticleBone bone;
  Kiv::SkeletonModifier posed(&bone), empty(nullptr);
  const std::string walk = dir.Path() + "/walk.kin";
  EXPECT_EQ(Kiv::Animator(nullptr, &files, &empty).Add(PString(walk), 5, 1.0f),
            Kiv::Animator::kNoSkeleton);
  EXPECT_EQ(Kiv::Animator(nullptr, &files, &posed).Add(PString(walk + "x"), 5, 1.0f),
            Kiv::Animator::kNoResource);
  Kiv::Animator animator(nullptr, &files, &posed);
  EXPECT_EQ(animator.Add(PString(walk), 5, 1.0f), Kiv::Animator::kAdded);
  EXPECT_EQ(animator.GetAnimations().size(), 1u);
  EXPECT_FALSE(posed.SetBoneOrientation(PString("missing"), {}));
}

}  // namespace
