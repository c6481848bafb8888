// Resource types by extension, resources found by databases, and locking.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kiv/File.h"
#include "kiv/ResourceDatabase.h"
#include "kiv/store/Resource.h"
#include "kiv/store/ResourceType.h"
#include "tests/support/FileTestDir.h"

namespace {

// Records how it was loaded; refuses files that hold "bad".
class RecordingResource : public Kiv::Resource {
 public:
  using Resource::Resource;
  std::vector<std::string> calls;

 protected:
  uint32_t Load(const char* path) override { return Record("Load", path); }
  uint32_t LoadTxt(const char* path) override { return Record("LoadTxt", path); }
  uint32_t LoadComplete() override {
    calls.push_back("LoadComplete");
    return 0;
  }
  void Unload() override { calls.push_back("Unload"); }

 private:
  uint32_t Record(const char* how, const char* path) {
    calls.push_back(how);
    Kiv::File file;
    char text[3] = {};
    return file.Open(path, Kiv::File::kRead) && file.Read(text, 3) == 3 &&
                   std::string(text, 3) == "bad"
               ? 7
               : 0;
  }
};

class ResourceTest : public FileTestDir {
 protected:
  Kiv::ResourceType<RecordingResource> txt_{"txt"};
  Kiv::ResourceType<RecordingResource> lmTxt_{"lm.txt"};
  Kiv::ResourceType<RecordingResource> lm_{"lm"};
  Kiv::ResourceDatabase plain_{Kiv::PString()};
};

TEST_F(ResourceTest, LongestRegisteredExtensionWins) {
  struct Case {
    const char* file;
    const Kiv::ResourceTypeBase* want;
  };
  const Case cases[] = {
      {"a.lm.txt", &lmTxt_}, {"A.LM.TXT", &lmTxt_}, {"a.txt", &txt_}, {"alm.txt", &txt_},
      {"a.lm", &lm_},        {"a.xlm", nullptr},    {"lm", nullptr},  {"a.im", nullptr},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Kiv::ResourceTypeBase::FindForFile(c.file), c.want) << c.file;
  {
    Kiv::ResourceType<RecordingResource> longer("x.lm.txt");
    EXPECT_EQ(Kiv::ResourceTypeBase::FindForFile("a.x.lm.txt"), &longer);
  }
  EXPECT_EQ(Kiv::ResourceTypeBase::FindForFile("a.x.lm.txt"), &lmTxt_) << "gone with its type";
}

TEST_F(ResourceTest, DatabasesFindTheFileOrItsTextFormInAnyCase) {
  Put("Meshes/Body.lm", "mesh");
  Put("Meshes/door.lm.txt", "text");
  Put("Meshes/tex.bin", "no type");
  Kiv::File::Subst(Kiv::PString("resource-test-root"), At(""));
  Kiv::ResourceDatabase rooted(Kiv::PString("resource-test-root"));
  struct Case {
    Kiv::ResourceDatabase* database;
    std::string name;
    std::string file;  // "" when nothing is found.
  };
  const Case cases[] = {
      {&plain_, At("Meshes/Body.lm"), At("Meshes/Body.lm")},
      {&plain_, At("meshes/BODY.LM"), At("Meshes/Body.lm")},
      {&plain_, At("Meshes/door.lm"), At("Meshes/door.lm.txt")},
      {&rooted, "meshes\\door.lm", At("Meshes/door.lm.txt")},
      {&rooted, "../x.lm", ""},
      {&rooted, "/etc/passwd", ""},
      {&plain_, At("Meshes/tex.bin"), ""},
      {&plain_, At("Meshes"), ""},
  };
  for (const Case& c : cases) {
    Kiv::Resource* resource = c.database->Get(Kiv::PString(c.name), 2);
    EXPECT_EQ(resource != nullptr, !c.file.empty()) << c.name;
    if (resource == nullptr) continue;
    EXPECT_EQ(resource->GetFilePath(), c.file) << c.name;
    EXPECT_EQ(resource->GetName(), Kiv::PString(c.name));
    EXPECT_EQ(resource->UseCount(), 1);
    resource->ReleaseReference();
  }
  Kiv::File::Subst(Kiv::PString("resource-test-root"), "");
}

TEST_F(ResourceTest, FirstLockLoadsByTheFilesFormAndFailuresStayUnlocked) {
  Put("a.lm", "ok");
  Put("b.lm.txt", "ok");
  Put("c.lm", "bad");
  auto get = [this](const char* name) {
    return Kiv::Ref<RecordingResource>(
        static_cast<RecordingResource*>(plain_.Get(Kiv::PString(At(name)), 2)));
  };
  Kiv::Ref<RecordingResource> a = get("a.lm");
  a->ReleaseReference();  // The handle holds the caller's reference now.
  ASSERT_EQ(a->Lock(), 0u);
  ASSERT_EQ(a->Lock(), 0u);
  a->Unlock();
  EXPECT_TRUE(a->IsLocked());
  a->Unlock();
  EXPECT_FALSE(a->IsLocked());
  EXPECT_EQ(a->calls, (std::vector<std::string>{"Load", "LoadComplete", "Unload"}));
  Kiv::Ref<RecordingResource> b = get("b.lm");
  b->ReleaseReference();
  EXPECT_EQ(b->Lock(), 0u);
  EXPECT_EQ(b->calls, (std::vector<std::string>{"LoadTxt", "LoadComplete"}));
  Kiv::Ref<RecordingResource> c = get("c.lm");
  c->ReleaseReference();
  EXPECT_EQ(c->Lock(), 7u);
  EXPECT_FALSE(c->IsLocked());
  c->Unlock();
  EXPECT_EQ(c->calls, (std::vector<std::string>{"Load"})) << "no LoadComplete, no Unload";
}

}  // namespace
