// Delayed initialisation: clients queued in one walk of the manager run
// their phases, in order and once each, on the next walk; a client
// destroyed between phases sees no further phase.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gsnative/DelayedInitClient.h"
#include "gsnative/DelayedInitManager.h"

namespace {

class Scene;

// A client that logs "<name><phase>" and runs the scene's action for that
// phase, if any, after marking it as the base does.
class Client : public DelayedInitClient {
 public:
  Client(Scene& scene, std::string name) : scene_(scene), name_(std::move(name)) {}
  ~Client() override;
  void InitPhase1() override { Phase(1, kPhase1Done); }
  void InitPhase2() override { Phase(2, kPhase2Done); }
  void InitPhase3() override { Phase(3, kPhase3Done); }
  void MarkAll() { DelayedInitFlags() |= kAllPhasesDone; }

 private:
  void Phase(int n, uint8_t done);
  Scene& scene_;
  std::string name_;
};

// Clients by name, the log of phases and an action per "<name><phase>".
class Scene {
 public:
  DelayedInitManager manager;
  std::map<std::string, Client*> live;
  std::map<std::string, std::function<void(Scene&)>> actions;
  std::string log;

  Client* Make(const std::string& name) {
    auto* c = new Client(*this, name);
    live[name] = c;
    c->Queue(manager);
    return c;
  }
  void Destroy(const std::string& name) { delete live.at(name); }
  // One walk; answers what it logged.
  std::string Walk() {
    log.clear();
    manager.RunQueue();
    return log;
  }
  ~Scene() {
    while (!live.empty()) delete live.begin()->second;
  }
};

Client::~Client() {
  scene_.log += "~" + name_ + " ";
  scene_.live.erase(name_);
}

void Client::Phase(int n, uint8_t done) {
  DelayedInitFlags() |= done;
  const std::string key = name_ + std::to_string(n);
  scene_.log += key + " ";
  auto action = scene_.actions.find(key);
  if (action != scene_.actions.end()) action->second(scene_);
}

struct Case {
  const char* name;
  std::vector<std::string> before;  // clients made before the first walk
  std::map<std::string, std::function<void(Scene&)>> actions;
  std::vector<std::string> walks;  // the log of each walk
};

TEST(DelayedInitTest, PhasesRunInOrderOnceEachOnTheNextWalk) {
  const Case cases[] = {
      {"queued clients run in order", {"A", "B"}, {}, {"A1 A2 A3 B1 B2 B3 ", ""}},
      {"clients made during a walk wait for the next",
       {"A"},
       {{"A2", [](Scene& s) { s.Make("C"); }}, {"C3", [](Scene& s) { s.Make("D"); }}},
       {"A1 A2 A3 ", "C1 C2 C3 ", "D1 D2 D3 ", ""}},
      {"a client destroying itself sees no further phase",
       {"A", "B"},
       {{"A1", [](Scene& s) { s.Destroy("A"); }}},
       {"A1 ~A B1 B2 B3 ", ""}},
      {"a client destroyed by another is skipped",
       {"A", "B", "C"},
       {{"A2", [](Scene& s) { s.Destroy("B"); }}},
       {"A1 A2 ~B A3 C1 C2 C3 ", ""}},
      {"a client destroyed after its phases is not run again",
       {"A", "B"},
       {{"B1", [](Scene& s) { s.Destroy("A"); }}},
       {"A1 A2 A3 B1 ~A B2 B3 ", ""}},
      {"phase 1 marking every phase skips the others",
       {"A"},
       {{"A1", [](Scene& s) { s.live.at("A")->MarkAll(); }}},
       {"A1 ", ""}},
      {"a phase that runs the phases again runs each once",
       {"A"},
       {{"A1", [](Scene& s) { s.live.at("A")->RunNow(); }}},
       {"A1 A2 A3 ", ""}},
      {"a client that runs itself inside the walk is destroyed by its own phase",
       {"A"},
       {{"A1", [](Scene& s) { s.live.at("A")->RunNow(); }},
        {"A2", [](Scene& s) { s.Destroy("A"); }}},
       {"A1 A2 ~A ", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene;
    scene.actions = c.actions;
    for (const std::string& name : c.before) scene.Make(name);
    for (const std::string& expected : c.walks) {
      EXPECT_EQ(scene.Walk(), expected);
      for (DelayedInitClient* entry : scene.manager.GetQueue()) EXPECT_NE(entry, nullptr);
    }
    for (const auto& [name, client] : scene.live) {
      EXPECT_EQ(client->GetDelayedInitFlags() & DelayedInitClient::kOwnBits,
                DelayedInitClient::kAllPhasesDone)
          << name;
    }
  }
}

TEST(DelayedInitTest, QueueingIsOncePerClient) {
  Scene scene;
  Client* a = scene.Make("A");
  a->Queue(scene.manager);
  EXPECT_EQ(scene.manager.GetQueue().size(), 1u);
  EXPECT_TRUE(a->IsQueued());
  a->RunNow();
  EXPECT_FALSE(a->IsQueued());
  EXPECT_TRUE(scene.manager.GetQueue().empty());
  a->Queue(scene.manager);  // every phase done: never queued again
  EXPECT_TRUE(scene.manager.GetQueue().empty());
  EXPECT_EQ(scene.log, "A1 A2 A3 ");
}

TEST(DelayedInitTest, UnqueueDuringAWalkLeavesANullInPlace) {
  Scene scene;
  std::vector<DelayedInitClient*> seen;
  scene.actions["A1"] = [&](Scene& s) {
    s.live.at("B")->Unqueue();
    seen = s.manager.GetQueue();
  };
  Client* a = scene.Make("A");
  Client* b = scene.Make("B");
  Client* c = scene.Make("C");
  EXPECT_EQ(scene.Walk(), "A1 A2 A3 C1 C2 C3 ");
  EXPECT_EQ(seen, (std::vector<DelayedInitClient*>{a, nullptr, c}));
  EXPECT_TRUE(scene.manager.GetQueue().empty());
  EXPECT_EQ(b->GetDelayedInitFlags(), 0);
}

TEST(DelayedInitTest, ClientsOutliveTheirManagerSafely) {
  Scene scene;
  auto manager = std::make_unique<DelayedInitManager>();
  Client* a = new Client(scene, "A");
  scene.live["A"] = a;
  a->Queue(*manager);
  manager.reset();
  EXPECT_FALSE(a->IsQueued());
  delete a;  // must not reach the destroyed manager
  EXPECT_EQ(scene.log, "~A ");
}

}  // namespace
