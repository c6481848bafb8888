// The interface text database (see foundation/InterfaceTextDB.h).
#include "foundation/spec/InterfaceTextDB.h"

#include <string_view>
#include <unordered_map>
#include <utility>

#include "foundation/base/LogMessage.h"
#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ACSConvert.h"
#include "foundation/soup/Soup.h"

namespace {

constexpr const char* kEnglishFile = "InterfaceText.chump";
constexpr const char* kDataLocation = "data";
constexpr uint32_t kMaxLoggedMisses = 10;

struct LanguageFile {
  const char* code;
  const char* file;
};

constexpr LanguageFile kLanguageFiles[] = {
    {"EN", kEnglishFile},
    {"AU", kEnglishFile},
    {"US", kEnglishFile},
    {"UK", kEnglishFile},
    {"DE", "InterfaceGerman.chump"},
    {"FR", "InterfaceFrench.chump"},
    {"IT", "InterfaceItalian.chump"},
    {"RU", "InterfaceRussian.chump"},
    {"CZ", "InterfaceCzech.chump"},
    {"PL", "InterfacePolish.chump"},
    {"ES", "InterfaceSpanish.chump"},
    {"CN", "InterfaceChinese.chump"},
    {"NL", "InterfaceDutch.chump"},
    {"KR", "InterfaceKorean.chump"},
    {"HU", "InterfaceHungarian.chump"},
};

// The file of a language code; null when the code keeps the current choice.
const char* FileOfLanguage(const char* code) {
  if (code == nullptr || *code == '\0') return kEnglishFile;
  for (const LanguageFile& entry : kLanguageFiles) {
    if (Kiv::EqualsIgnoreCase(code, entry.code)) return entry.file;
  }
  return nullptr;
}

// The same name with the extension "txt".
Kiv::String TextFormName(std::string_view name) {
  const size_t dot = name.rfind('.');
  return Kiv::String(name.substr(0, dot)) + ".txt";
}

// Reads the file `name` of the "data" location, falling back to its text
// form; false (soup empty) when neither reads.
bool ReadLanguageFile(const Kiv::PString& name, Soup& soup) {
  const Kiv::PString location(kDataLocation);
  soup.Release();
  if (Soup::LoadFromFile(location, name.Str(), soup, true)) return true;
  LogMessage("InterfaceTextDB> failed to load compiled interfacetext file");
  if (Soup::LoadFromFile(location, TextFormName(name.View()), soup, true)) return true;
  LogMessage("InterfaceTextDB> Unable to read interface file '%s'", name.c_str());
  soup.Release();
  return false;
}

using TextIndex = std::unordered_map<Kiv::PString, Kiv::PString>;

// The text that Soup::GetNamedTag would give for this child.
Kiv::PString TextOf(const ACSChunk* child) {
  if (IsNullChunk(child)) return Kiv::PString();
  const CoreRef text = ACSConvert(child->GetType(), ACSChunk::GetRawData(child), SoupType::kString);
  return Kiv::PString(ACSRawDataCore::TextView(text.get()));
}

// Every name of the soup's top level with its text; the first child of a
// name wins, as it does for Soup::GetNamedTag. One pass in child order.
TextIndex IndexTexts(const Soup& soup) {
  TextIndex index;
  const ACSChunk* chunk = soup.GetChunk();
  if (chunk == nullptr) return index;
  const uint32_t count = chunk->CountChildren();
  index.reserve(count);
  Kiv::PString name;
  ChunkRef child;
  for (uint32_t i = 0; i < count; ++i) {
    if (!chunk->GetChildAt(i, name, child)) break;
    if (index.find(name) != index.end()) continue;
    index.emplace(name, TextOf(child.get()));
  }
  return index;
}

Kiv::PString Find(const TextIndex& index, const Kiv::PString& tag) {
  const auto it = index.find(tag);
  return it == index.end() ? Kiv::PString() : it->second;
}

}  // namespace

// One loaded language file. Never changed once published. Members are
// released in reverse order: the scenario, spec and map texts, then the root.
struct InterfaceTextDB::Contents {
  Soup root;
  Soup mapText;
  Soup specText;
  Soup scenarioText;
  Kiv::PString fileName;  // The file the texts came from (as chosen).
  TextIndex rootTexts;
  TextIndex scenarioTexts;
};

std::shared_ptr<const InterfaceTextDB::Contents> InterfaceTextDB::NoContents() {
  auto contents = std::make_shared<Contents>();
  contents->fileName = kEnglishFile;
  return contents;
}

InterfaceTextDB::InterfaceTextDB() : fileName_(kEnglishFile), contents_(NoContents()) {}

InterfaceTextDB::~InterfaceTextDB() = default;

InterfaceTextDB& InterfaceTextDB::Instance() {
  static InterfaceTextDB instance;
  return instance;
}

InterfaceTextDB& InterfaceTextDB::Get() {
  InterfaceTextDB& db = Instance();
  db.EnsureLoaded();
  return db;
}

void InterfaceTextDB::SetLanguage(const char* code) {
  const char* file = FileOfLanguage(code);
  if (file == nullptr) return;
  InterfaceTextDB& db = Instance();
  std::lock_guard<std::mutex> hold(db.loadMutex_);
  db.fileName_ = file;
}

void InterfaceTextDB::MarkUnloaded() {
  Instance().loaded_.store(false, std::memory_order_release);
}

void InterfaceTextDB::ResetForTests() {
  InterfaceTextDB& db = Instance();
  std::lock_guard<std::mutex> hold(db.loadMutex_);
  db.fileName_ = kEnglishFile;
  db.loaded_.store(false, std::memory_order_release);
  db.misses_.store(0, std::memory_order_relaxed);
  db.Publish(NoContents());
}

void InterfaceTextDB::EnsureLoaded() {
  if (loaded_.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> hold(loadMutex_);
  if (loaded_.load(std::memory_order_acquire)) return;
  LoadLocked();
  loaded_.store(true, std::memory_order_release);
}

void InterfaceTextDB::LoadLocked() {
  auto contents = std::make_shared<Contents>();
  contents->fileName = fileName_;
  const Kiv::PString english(kEnglishFile);
  if (!ReadLanguageFile(fileName_, contents->root) && fileName_ != english) {
    LogMessage("InterfaceTextDB> Reading '%s' in place of '%s'", kEnglishFile, fileName_.c_str());
    if (ReadLanguageFile(english, contents->root)) contents->fileName = english;
  }
  contents->mapText = contents->root.GetNamedSoup(Kiv::PString("orvak_map_text"));
  contents->specText = contents->root.GetNamedSoup(Kiv::PString("orvak_spec_text"));
  contents->scenarioText = contents->root.GetNamedSoup(Kiv::PString("scenario_text"));
  contents->rootTexts = IndexTexts(contents->root);
  contents->scenarioTexts = IndexTexts(contents->scenarioText);
  Publish(std::move(contents));
}

std::shared_ptr<const InterfaceTextDB::Contents> InterfaceTextDB::Current() const {
  std::lock_guard<std::mutex> hold(contentsMutex_);
  return contents_;
}

void InterfaceTextDB::Publish(std::shared_ptr<const Contents> contents) {
  std::shared_ptr<const Contents> old;
  {
    std::lock_guard<std::mutex> hold(contentsMutex_);
    old = std::exchange(contents_, std::move(contents));
  }
  // `old` is released here, outside the lock.
}

Kiv::PString InterfaceTextDB::GetString(const Kiv::PString& tag, bool warn) const {
  if (tag.Empty()) return tag;
  const std::shared_ptr<const Contents> contents = Current();
  Kiv::PString text = Find(contents->rootTexts, tag);
  if (!text.Empty() || !warn) return text;
  LogMiss(tag, *contents);
  return tag;
}

void InterfaceTextDB::LogMiss(const Kiv::PString& tag, const Contents& contents) const {
  // Counting stops once the limit is passed, so the count cannot wrap.
  if (misses_.load(std::memory_order_relaxed) > kMaxLoggedMisses) return;
  if (misses_.fetch_add(1, std::memory_order_relaxed) >= kMaxLoggedMisses) return;
  LogMessage("InterfaceTextDB::GetString> Tag '%s' not found in '%s'", tag.c_str(),
             contents.fileName.c_str());
}

Kiv::PString InterfaceTextDB::Lookup(const Kiv::PString& tag) const {
  if (tag.Empty()) return tag;
  return Find(Current()->scenarioTexts, tag);
}

Kiv::String GetInterfaceText(const Kiv::PString& tag) {
  return InterfaceTextDB::Get().GetString(tag, true).Str();
}

Kiv::String GetInterfaceText(const char* tag) {
  return GetInterfaceText(Kiv::PString(tag));
}
