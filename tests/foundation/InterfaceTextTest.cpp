// The interface text database on a temporary installation root: file choice
// by language, the text-form and English fallbacks, lookups, miss logging
// and loading from several threads.
#include "foundation/spec/InterfaceTextDB.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <latch>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "foundation/threads/GlobalLock.h"
#include "kiv/Thread.h"
#include "tests/support/CapturedLog.h"
#include "tests/support/LayoutTestRoot.h"

namespace {

const char kCompiledFailed[] = "InterfaceTextDB> failed to load compiled interfacetext file";

class InterfaceTextTest : public LayoutTestRoot {
 protected:
  void SetUp() override {
    LayoutTestRoot::SetUp();
    StartLayout();
    std::filesystem::create_directories(At("Data"));
    InterfaceTextDB::ResetForTests();
  }
  void TearDown() override {
    InterfaceTextDB::ResetForTests();
    LayoutTestRoot::TearDown();
  }

  int LinesWith(const std::string& part) const {
    int count = 0;
    for (const std::string& line : log_.Lines()) count += line.find(part) != std::string::npos;
    return count;
  }

  void SaveBinary(const std::string& name, const Soup& soup) {
    ASSERT_TRUE(Soup::SaveToFile(Kiv::PString("data"), name, soup));
  }

  static void Reload(const char* code) {
    InterfaceTextDB::SetLanguage(code);
    InterfaceTextDB::MarkUnloaded();
  }

  VUTest::CapturedLog log_;
};

TEST_F(InterfaceTextTest, LanguageCodesChooseTheirFiles) {
  const char* files[] = {"InterfaceText", "InterfaceGerman", "InterfaceFrench", "InterfaceKorean",
                         "InterfaceHungarian"};
  for (const char* file : files) {
    Put(std::string("Data/") + file + ".txt", std::string("$which \"") + file + "\"\n");
  }
  // Each step: the code given, then the file whose text answers.
  const std::pair<const char*, const char*> steps[] = {
      {"fr", "InterfaceFrench"}, {"SE", "InterfaceFrench"},    {"zz", "InterfaceFrench"},
      {"EN", "InterfaceText"},   {"De", "InterfaceGerman"},    {"AU", "InterfaceText"},
      {"kr", "InterfaceKorean"}, {"HU", "InterfaceHungarian"}, {nullptr, "InterfaceText"},
      {"FR", "InterfaceFrench"}, {"", "InterfaceText"},
  };
  for (const auto& [code, file] : steps) {
    Reload(code);
    EXPECT_EQ(GetInterfaceText("$which"), file) << (code ? code : "(null)");
  }
}

TEST_F(InterfaceTextTest, BinaryFileIsReadFirstAndADamagedOneFallsBackToText) {
  Soup french;
  french.SetNamedTag(Kiv::PString("$greet"), "Bonjour");
  SaveBinary("InterfaceFrench.chump", french);
  Put("Data/InterfaceFrench.txt", "$greet \"Bonjour (texte)\"\n");
  Reload("fr");
  EXPECT_EQ(GetInterfaceText("$greet"), "Bonjour");
  EXPECT_EQ(LinesWith(kCompiledFailed), 0);

  // A cut-short binary file must not load as an empty database.
  const std::string whole = Get("Data/InterfaceFrench.chump");
  Put("Data/InterfaceFrench.chump", whole.substr(0, whole.size() / 2));
  InterfaceTextDB::MarkUnloaded();
  EXPECT_EQ(GetInterfaceText("$greet"), "Bonjour (texte)");
  EXPECT_EQ(LinesWith(kCompiledFailed), 1);
}

TEST_F(InterfaceTextTest, MissingLanguageFileFallsBackToEnglish) {
  Put("Data/InterfaceText.txt", "$greet \"Hello\"\n");
  Reload("de");
  EXPECT_EQ(GetInterfaceText("$greet"), "Hello");
  EXPECT_EQ(LinesWith("Unable to read interface file 'InterfaceGerman.chump'"), 1);
  EXPECT_EQ(GetInterfaceText("$absent"), "$absent");
  EXPECT_EQ(LinesWith("Tag '$absent' not found in 'InterfaceText.chump'"), 1);
}

TEST_F(InterfaceTextTest, WithoutFilesTagsAnswerThemselvesAndOnlyTenMissesAreLogged) {
  InterfaceTextDB& db = InterfaceTextDB::Get();
  EXPECT_EQ(LinesWith("Unable to read interface file 'InterfaceText.chump'"), 1);
  // Misses without the warning give nothing and are not counted.
  EXPECT_TRUE(db.GetString(Kiv::PString("$quiet"), false).Empty());
  EXPECT_TRUE(db.GetString(Kiv::PString("$quiet"), false).Empty());
  EXPECT_TRUE(db.GetString(Kiv::PString(), true).Empty());
  EXPECT_EQ(LinesWith("not found"), 0);

  for (int i = 0; i < 10; ++i) EXPECT_EQ(GetInterfaceText("$no_such_tag"), "$no_such_tag");
  EXPECT_EQ(LinesWith("InterfaceTextDB::GetString> Tag '$no_such_tag' not found in "
                      "'InterfaceText.chump'"),
            10);
  EXPECT_EQ(GetInterfaceText("$no_such_tag"), "$no_such_tag");
  EXPECT_EQ(GetInterfaceText("$another"), "$another");
  EXPECT_EQ(LinesWith("not found"), 10);
}

TEST_F(InterfaceTextTest, GetStringReadsTheTopLevelAndLookupTheScenarioTexts) {
  Put("Data/InterfaceText.txt",
      "$top \"Top text\"\n"
      "$blank\n"
      "scenario_text\n{\n  $inner \"Inner text\"\n}\n"
      "orvak_map_text\n{\n  $map \"Map text\"\n}\n");
  InterfaceTextDB& db = InterfaceTextDB::Get();
  EXPECT_EQ(db.GetString(Kiv::PString("$top"), true).Str(), "Top text");
  EXPECT_TRUE(db.GetString(Kiv::PString("$inner"), false).Empty());
  EXPECT_TRUE(db.GetString(Kiv::PString("$map"), false).Empty());
  EXPECT_EQ(db.Lookup(Kiv::PString("$inner")).Str(), "Inner text");
  EXPECT_TRUE(db.Lookup(Kiv::PString("$top")).Empty());
  EXPECT_TRUE(db.Lookup(Kiv::PString("$map")).Empty());
  EXPECT_TRUE(db.Lookup(Kiv::PString()).Empty());
  EXPECT_EQ(LinesWith("not found"), 0);
  // A tag without a value has no text.
  EXPECT_EQ(db.GetString(Kiv::PString("$blank"), true).Str(), "$blank");
  EXPECT_EQ(LinesWith("not found"), 1);
}

TEST_F(InterfaceTextTest, ConcurrentFirstLookupsLoadTheFileOnce) {
  // Only the text form exists, so every load writes one line.
  Put("Data/InterfaceText.txt", "$greet \"Hello\"\n");
  constexpr int kThreads = 8;
  std::latch start(kThreads);
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      results[i] = GetInterfaceText("$greet");
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(LinesWith(kCompiledFailed), 1);
  for (const std::string& result : results) EXPECT_EQ(result, "Hello");
}

TEST_F(InterfaceTextTest, FirstLookupUnderASharedGlobalLockDoesNotWait) {
  Put("Data/InterfaceText.txt", "$greet \"Hello\"\n");
  GlobalLock& lock = GlobalLock::Get();
  std::promise<void> otherHolds;
  std::promise<void> done;
  bool otherSawDone = false;
  // Another reader holds the lock until this thread's lookup is done, or
  // gives up after ten seconds; a lookup that needs the lock exclusively
  // would wait for it all that time.
  std::thread other([&, finished = done.get_future()] {
    const uint32_t id = Kiv::Thread::GetCurrentId();
    const bool held = lock.Acquire(id, false);
    EXPECT_TRUE(held);
    otherHolds.set_value();
    otherSawDone = finished.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (held) lock.Release(id);
  });
  otherHolds.get_future().wait();
  const uint32_t id = Kiv::Thread::GetCurrentId();
  ASSERT_TRUE(lock.Acquire(id, false));
  const std::string text = GetInterfaceText("$greet");
  done.set_value();
  lock.Release(id);
  other.join();
  EXPECT_EQ(text, "Hello");
  EXPECT_TRUE(otherSawDone);
  EXPECT_EQ(lock.HolderCount(), 0u);
}

TEST_F(InterfaceTextTest, ReloadingWhileOthersReadKeepsTheirTextsValid) {
  Put("Data/InterfaceText.txt", "$greet \"Hello\"\n");
  Put("Data/InterfaceFrench.txt", "$greet \"Bonjour\"\n");
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([&] {
      while (!stop) {
        const std::string text = GetInterfaceText("$greet");
        if (text != "Hello" && text != "Bonjour") ++bad;
      }
    });
  }
  for (int i = 0; i < 40; ++i) {
    Reload(i % 2 == 0 ? "fr" : "en");
    InterfaceTextDB::Get();
  }
  stop = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
