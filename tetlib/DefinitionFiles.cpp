// Reading the definitions folder: the merged definition soup and the line
// tables of its files (see tetlib/DataManager.h).
#include <string>
#include <string_view>
#include <utility>

#include "foundation/base/LogMessage.h"
#include "kiv/File.h"
#include "tetlib/DataManager.h"

namespace TETLib {
namespace {

constexpr const char* kDefinitionFiles[] = {"inheritance.txt", "kind.txt", "container.txt"};

// Files of the definitions folder are small; anything larger is refused
// rather than read into memory.
constexpr int64_t kMaxListFileSize = int64_t{64} << 20;

bool ReadWholeFile(const Kiv::String& path, std::string* out) {
  Kiv::File file;
  if (!file.Open(path, Kiv::File::kRead)) return false;
  const int64_t size = file.Size();
  if (size < 0 || size > kMaxListFileSize) return false;
  out->resize(static_cast<size_t>(size));
  return size == 0 ||
         file.Read(out->data(), static_cast<uint32_t>(size)) == static_cast<uint32_t>(size);
}

DefinitionLine SplitLine(std::string_view line) {
  while (line.size() > 1 && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  // The space that splits is looked for in every character but the last.
  const size_t space =
      line.size() < 2 ? std::string_view::npos : line.substr(0, line.size() - 1).find(' ');
  if (space == std::string_view::npos) return DefinitionLine{Kiv::PString(line), Kiv::PString()};
  return DefinitionLine{Kiv::PString(line.substr(0, space)), Kiv::PString(line.substr(space + 1))};
}

std::vector<DefinitionLine> SplitLines(std::string_view text) {
  std::vector<DefinitionLine> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line =
        text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
    lines.push_back(SplitLine(line));
    text.remove_prefix(line.size());
  }
  return lines;
}

}  // namespace

bool DataManager::LoadDefinitions() {
  if (definitionsLoaded_) return definitionsRead_;
  definitionsLoaded_ = true;
  definitions_.Release();
  definitionsRead_ = ReadDefinitionFiles() && LoadListFiles();
  if (!definitionsRead_)
    LogMessage("DataManager::LoadDefinitions> unable to read the definitions in '%s'",
               dataFolder_.c_str());
  return definitionsRead_;
}

bool DataManager::ReadDefinitionFiles() {
  for (const char* name : kDefinitionFiles) {
    const Kiv::String path = dataFolder_.Str() + name;
    Soup file;
    if (!Soup::LoadFromFile(Kiv::PString(), path, file, true)) {
      if (Kiv::File::Exists(path))
        LogMessage("DataManager::LoadDefinitions> '%s' could not be read", path.c_str());
      continue;
    }
    ACSChunk* chunk = file.GetChunk();
    const uint32_t count = file.CountTags();
    for (uint32_t i = 0; i < count; ++i) {
      Kiv::PString childName;
      ChunkRef child;
      if (!chunk->GetChildAt(i, childName, child)) break;
      definitions_.Create();
      definitions_.RemoveNamedTag(childName);
      definitions_.GetChunk()->SetChild(childName, std::move(child));
    }
  }
  return definitions_.CountTags() > 0;
}

bool DataManager::LoadListFiles() {
  Kiv::String folder = dataFolder_.Str();
  Kiv::File::Find find;
  if (!find.First(folder, "*.*")) return false;
  do {
    if (find.IsDirectory()) continue;
    std::string text;
    if (!ReadWholeFile(find.FullPath(), &text)) {
      LogMessage("DataManager::LoadListFiles> unable to read '%s'", find.FullPath().c_str());
      return false;
    }
    listFiles_[Kiv::PString(find.Name())] = SplitLines(text);
  } while (find.Next());
  return true;
}

const std::vector<DefinitionLine>* DataManager::FindListFile(const Kiv::PString& fileName) const {
  const auto found = listFiles_.find(fileName);
  return found == listFiles_.end() ? nullptr : &found->second;
}

}  // namespace TETLib
