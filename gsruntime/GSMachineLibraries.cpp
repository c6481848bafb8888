// GSMachine: announcing, finding and loading libraries.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "gscompiler/bytecode/GSByteOrder.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSPrintHook.h"
#include "kiv/File.h"
#include "kiv/String.h"

using GSRuntime::GSLibrary;
using GSRuntime::GSLibraryId;

namespace {

constexpr uint32_t kProbeBytes = 20;

// The id of a library whose first kProbeBytes bytes are `header`; false
// when they are not a library's.
bool ProbeHeader(const uint8_t* header, GSLibraryId& id) {
  if (GSByteCode::GSReadU32(header + 4) != GSLibraryFormat::kGslMagic) return false;
  id = GSLibraryId{GSByteCode::GSReadU32(header + 12), GSByteCode::GSReadU32(header + 16)};
  return true;
}

// Reads the first 20 bytes of `name` below `root`; false when the file
// cannot be opened, is shorter or is not a library.
bool ProbeLibrary(const Kiv::PString& root, const std::string& name, GSLibraryId& id) {
  Kiv::File file;
  uint8_t header[kProbeBytes];
  if (!file.Open(root, name, Kiv::File::kRead) || file.Read(header, kProbeBytes) != kProbeBytes)
    return false;
  return ProbeHeader(header, id);
}

}  // namespace

LibraryLinkEntry* GSMachine::FindEntry(const GSLibraryId& id) const {
  IdHashTable<std::unique_ptr<LibraryLinkEntry>>::Iterator it;
  return linkTable_.Find(id.textCrc, id.nameCrc, it) ? it.node->value.get() : nullptr;
}

bool GSMachine::AddLibrary(const Kiv::PString& root, std::string_view folder, std::string_view file,
                           GSLibraryId* out) {
  Kiv::File::Path joined(folder);
  joined.AddPath(file);
  const std::string path = joined.Str();
  GSLibraryId id{};
  if (!ProbeLibrary(root, path, id)) return false;
  if (out != nullptr) *out = id;
  if (LibraryLinkEntry* known = FindEntry(id)) {
    nameTable_.InsertByName(Kiv::AsciiLower(path).c_str(), known);
    return true;
  }
  auto entry =
      std::make_unique<LibraryLinkEntry>(LibraryLinkEntry{id, root, path, nullptr, nullptr});
  LibraryLinkEntry* added = entry.get();
  if (!linkTable_.Insert(id.textCrc, id.nameCrc, std::move(entry))) {
    GSPrint("Could not add game script library %s to GSMachine", path.c_str());
    return false;
  }
  nameTable_.InsertByName(Kiv::AsciiLower(path).c_str(), added);
  return true;
}

bool GSMachine::AddLibraryImage(std::string_view path, std::vector<uint8_t> image,
                                GSLibraryId* out) {
  GSLibraryId id{};
  if (image.size() < kProbeBytes || !ProbeHeader(image.data(), id)) return false;
  if (out != nullptr) *out = id;
  auto bytes = std::make_shared<const std::vector<uint8_t>>(std::move(image));
  const std::string name(path);
  LibraryLinkEntry* entry = FindEntry(id);
  if (entry == nullptr) {
    auto made = std::make_unique<LibraryLinkEntry>(
        LibraryLinkEntry{id, Kiv::PString(), name, nullptr, std::move(bytes)});
    entry = made.get();
    if (!linkTable_.Insert(id.textCrc, id.nameCrc, std::move(made))) {
      GSPrint("Could not add game script library %s to GSMachine", name.c_str());
      return false;
    }
  } else if (entry->image != nullptr) {
    entry->path = name;
    entry->image = std::move(bytes);
  }
  nameTable_.InsertByName(Kiv::AsciiLower(name).c_str(), entry);
  return true;
}

void GSMachine::UnloadLibrary(const GSLibraryId& id) {
  const LibraryLinkEntry* entry = FindEntry(id);
  if (entry == nullptr || entry->image == nullptr || entry->library == nullptr) return;
  UnloadWithUsers({entry->library});
}

void GSMachine::ForgetLibraryImages() {
  std::vector<const GSLibrary*> taken;
  for (const auto& library : libraries_) {
    const LibraryLinkEntry* entry = FindEntry(library->Id());
    if (entry != nullptr && entry->image != nullptr) taken.push_back(library.get());
  }
  UnloadWithUsers(std::move(taken));
  const auto announcedWithBytes = [](const auto& node) {
    return node.value != nullptr && node.value->image != nullptr;
  };
  // The names point into the link table's entries: they go first.
  nameTable_.EraseIf(announcedWithBytes);
  linkTable_.EraseIf(announcedWithBytes);
}

void GSMachine::UnloadWithUsers(std::vector<const GSLibrary*> taken) {
  if (taken.empty()) return;
  // Every loaded library that links to one already taken goes too.
  const auto linksToTaken = [&taken](const GSLibrary& library) {
    for (const GSRuntime::GSDependency& dependency : library.Dependencies())
      for (const GSLibrary* gone : taken)
        if (dependency.library == gone) return true;
    return false;
  };
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& library : libraries_) {
      const GSLibrary* candidate = library.get();
      if (std::find(taken.begin(), taken.end(), candidate) != taken.end()) continue;
      if (!linksToTaken(*candidate)) continue;
      taken.push_back(candidate);
      grew = true;
    }
  }
  std::vector<std::unique_ptr<GSLibrary>> kept;
  kept.reserve(libraries_.size());
  std::vector<std::unique_ptr<GSLibrary>> gone;
  for (auto& library : libraries_) {
    const bool unload = std::find(taken.begin(), taken.end(), library.get()) != taken.end();
    (unload ? gone : kept).push_back(std::move(library));
  }
  libraries_ = std::move(kept);
  for (const auto& library : gone) {
    LibraryLinkEntry* owner = FindEntry(library->Id());
    if (owner != nullptr && owner->library == library.get()) owner->library = nullptr;
  }
}

void GSMachine::AddLibraryFolder(const Kiv::PString& root) {
  Kiv::String folder;
  if (!root.Empty() && !Kiv::File::LookupRoot(root, &folder)) return;
  Kiv::File::Find find;
  for (bool more = find.First(folder, "*.gsl"); more; more = find.Next()) {
    const std::string name = find.Name();
    GSLibraryId id{};
    if (!ProbeLibrary(root, name, id)) continue;
    auto entry =
        std::make_unique<LibraryLinkEntry>(LibraryLinkEntry{id, root, name, nullptr, nullptr});
    LibraryLinkEntry* added = entry.get();
    if (!linkTable_.Insert(id.textCrc, id.nameCrc, std::move(entry))) {
      GSPrint("Could not add game script library %s to GSMachine", name.c_str());
      continue;
    }
    nameTable_.InsertByName(Kiv::AsciiLower(name).c_str(), added);
  }
}

void GSMachine::ReportMissing(const GSLibraryId& id) const {
  GSPrint("GSMachine::GetLibrary> library '0x%X 0x%X' not found in link table", id.textCrc,
          id.nameCrc);
  for (const auto& library : libraries_)
    if (library->Id().nameCrc == id.nameCrc)
      GSPrint(
          "  Similar library found with matching filename hash but built from different source: %s",
          library->Name().c_str());
}

bool GSMachine::ReadImage(const LibraryLinkEntry& entry, std::vector<uint8_t>& image) const {
  Kiv::File file;
  if (!file.Open(entry.root, entry.path, Kiv::File::kRead)) return false;
  const int64_t size = file.Size();
  bool read = size >= 0 && size <= int64_t{UINT32_MAX};
  if (read) {
    try {
      image.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
      read = false;
    }
  }
  if (read)
    read = file.Read(image.data(), static_cast<uint32_t>(size)) == static_cast<uint32_t>(size);
  if (!read) GSPrint("GSMachine: Error loading library file %s", entry.path.c_str());
  return read;
}

GSLibrary* GSMachine::GetLibrary(const GSLibraryId& id) {
  LibraryLinkEntry* entry = FindEntry(id);
  if (entry == nullptr) {
    ReportMissing(id);
    return nullptr;
  }
  if (entry->library != nullptr) return entry->library;
  std::vector<uint8_t> image;
  if (entry->image != nullptr) {
    image = *entry->image;
  } else if (!ReadImage(*entry, image)) {
    return nullptr;
  }
  auto library = std::make_unique<GSLibrary>(this, entry->path);
  entry->library = library.get();
  const size_t mark = libraries_.size();
  const int result = library->Load(std::move(image));
  if (result != 0) {
    GSPrint("GSMachine: Error %d loading library %s (%s)", result, entry->path.c_str(),
            library->Name().c_str());
    entry->library = nullptr;
    UnloadSince(mark);
    return nullptr;
  }
  libraries_.push_back(std::move(library));
  return entry->library;
}

void GSMachine::UnloadSince(size_t mark) {
  while (libraries_.size() > mark) {
    std::unique_ptr<GSLibrary> library = std::move(libraries_.back());
    libraries_.pop_back();
    LibraryLinkEntry* entry = FindEntry(library->Id());
    if (entry != nullptr && entry->library == library.get()) entry->library = nullptr;
  }
}

GSLibrary* GSMachine::FindLibraryByName(std::string_view name) {
  HashTable<LibraryLinkEntry*>::Iterator it;
  if (!nameTable_.FindByName(Kiv::AsciiLower(name).c_str(), it)) return nullptr;
  return GetLibrary(it.node->value->id);
}
