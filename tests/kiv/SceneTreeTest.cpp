// The stand-in's scene tree: particles' children and the scene graph's
// roots, neither owned, each entered once.
#include <gtest/gtest.h>

#include <vector>

#include "kiv/scene/Particle.h"
#include "kiv/scene/SceneGraph.h"

namespace {

using Particles = std::vector<Kiv::Particle*>;

TEST(SceneTree, ChildrenAreAddedOnceAndCopiesTakeNone) {
  Kiv::Particle root;
  Kiv::Particle a;
  Kiv::Particle b;
  EXPECT_TRUE(root.AddChild(&a));
  EXPECT_TRUE(root.AddChild(&b));
  for (Kiv::Particle* refused : {&a, static_cast<Kiv::Particle*>(nullptr), &root})
    EXPECT_FALSE(root.AddChild(refused));
  EXPECT_EQ(root.GetChildren(), (Particles{&a, &b}));

  root.SetName(Kiv::PString("root"));
  const Kiv::Particle copy(root);
  EXPECT_EQ(copy.GetName().Str(), "root");
  EXPECT_TRUE(copy.GetChildren().empty());
  Kiv::Particle assigned;
  ASSERT_TRUE(assigned.AddChild(&a));
  assigned = root;
  EXPECT_EQ(assigned.GetName().Str(), "root");
  EXPECT_EQ(assigned.GetChildren(), (Particles{&a}));

  root.RemoveChild(&a);
  root.RemoveChild(&root);
  EXPECT_EQ(root.GetChildren(), (Particles{&b}));
}

TEST(SceneTree, GraphHoldsEachSceneOnceUntilUnlinked) {
  Kiv::SceneGraph graph;
  Kiv::Particle first;
  Kiv::Particle second;
  EXPECT_TRUE(graph.AddScene(&first));
  EXPECT_TRUE(graph.AddScene(&second));
  EXPECT_FALSE(graph.AddScene(&first));
  EXPECT_FALSE(graph.AddScene(nullptr));
  EXPECT_EQ(graph.GetScenes(), (Particles{&first, &second}));
  graph.UnlinkScene(&first);
  graph.UnlinkScene(&first);
  EXPECT_EQ(graph.GetScenes(), (Particles{&second}));
}

}  // namespace
