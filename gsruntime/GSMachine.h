// GSMachine: the script machine. It knows every .gsl library announced to
// it (the link table, keyed by LibraryId, and the name table, keyed by the
// lower-cased path), loads a library on first demand and keeps it, holds
// the registry of native functions, and owns one script thread through
// which host code and constructors run script functions.
//
// GetGSMachine() gives the process's machine, made and initialised on the
// first call. It is never destroyed: the process ends without tearing it
// down, so teardown order at exit cannot matter. Other machines (tests,
// tools) are plain objects; destroy every context that uses their classes
// first.
//
// Init(): empties the tables, makes the machine's thread and registers the
// natives: the runtime's own ("$string@GSObject::GetGSClassName()", then
// the "GameObject" and "Router" natives, GSGameObject.h), then
// those of every registrar added with GSAddNativeRegistrar, in the order
// added. Other subsystems add their registrars before the first
// GetGSMachine; one added after the process's machine was initialised runs
// at once.
//
// - AddLibrary(root, folder, file, id): announces one file (path = folder
//   joined with file, below the named file root); reads its first 20 bytes
//   and stores its LibraryId in `*id`. A file that cannot be opened, is
//   shorter or is not a library answers false silently. An id already known
//   only gains the new name.
// - AddLibraryImage(path, image, id): announces a library whose bytes are
//   in hand (a checked cache file), named `path` in messages and in the
//   name table; it is loaded from those bytes, never from a file, so what
//   was checked is what loads. The machine keeps the bytes for a later
//   load (one copy besides the loaded library's own). An id announced so
//   before gets the new bytes for its next load (a loaded library stays
//   until UnloadLibrary); an id announced from a file only gains the name.
//   False, announcing nothing, when the bytes are not a library.
// - UnloadLibrary(id): unloads the library of an id announced with
//   AddLibraryImage and every loaded library that links to it, directly or
//   through others; each loads again on its next demand. Pointers into
//   them (classes, functions) become invalid: call it between jobs, never
//   while something uses them. For an id announced from a file it does
//   nothing (the standard libraries, whose classes natives keep, link to
//   no library announced with bytes: an id known first keeps its file).
// - ForgetLibraryImages(): forgets every id announced with AddLibraryImage,
//   as if it had never been announced: its library and every loaded library
//   that links to it are unloaded (as UnloadLibrary does), and the id and its
//   names leave the tables, so a later GetLibrary of it reports it missing
//   until it is announced again. Ids announced from files stay. Between
//   jobs only, like UnloadLibrary.
// - AddLibraryFolder(root): announces every "*.gsl" file (any case)
//   directly in the root's folder; a second file with a known id prints
//   "Could not add game script library %s to GSMachine" and is skipped.
// - GetLibrary(id): the library, loaded on first demand with its
//   dependencies. An unknown id prints "GSMachine::GetLibrary> library
//   '0x%X 0x%X' not found in link table" and "  Similar library found with
//   matching filename hash but built from different source: %s" per loaded
//   library with the same name CRC. A file that cannot be read whole prints
//   "GSMachine: Error loading library file %s"; a load that fails prints
//   "GSMachine: Error %d loading library %s (%s)". A failed library is
//   forgotten and tried again on the next request; every library that
//   finished loading while it loaded (and so may point into it, as in a
//   dependency cycle) is unloaded with it and reloaded on demand. While a
//   library loads, a request for its own id answers the library itself.
// - FindLibraryByName(name): looks the lower-cased name up ("gs.gsl" for a
//   library announced through AddLibraryFolder, "folder/file" for
//   AddLibrary) and loads it.
// - FindNative(class, signature): the most recently registered binding
//   with both interned strings; null when none. An index keyed by the two
//   strings finds it at once, however many natives are registered.
//
// Messages go through GSPrintHook. Not thread-safe: the machine is used
// from the thread that runs scripts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/containers/HashTable.h"
#include "foundation/containers/IdHashTable.h"
#include "gsruntime/GSLibrary.h"
#include "kiv/PString.h"

namespace GSRuntime {
class GSNativeFunction;
class GSThread;
}  // namespace GSRuntime

struct LibraryLinkEntry {
  GSRuntime::GSLibraryId id{};
  Kiv::PString root;
  std::string path;
  GSRuntime::GSLibrary* library = nullptr;
  // The bytes it loads from (AddLibraryImage); null: the file at `path`.
  std::shared_ptr<const std::vector<uint8_t>> image;
};

class GSMachine {
 public:
  static constexpr uint32_t kTableBuckets = 251;
  static constexpr uint32_t kMachineThreadFlags = 1;

  GSMachine();
  ~GSMachine();
  GSMachine(const GSMachine&) = delete;
  GSMachine& operator=(const GSMachine&) = delete;

  void Init();

  bool AddLibrary(const Kiv::PString& root, std::string_view folder, std::string_view file,
                  GSRuntime::GSLibraryId* id);
  bool AddLibraryImage(std::string_view path, std::vector<uint8_t> image,
                       GSRuntime::GSLibraryId* id);
  void UnloadLibrary(const GSRuntime::GSLibraryId& id);
  void ForgetLibraryImages();
  void AddLibraryFolder(const Kiv::PString& root);
  GSRuntime::GSLibrary* GetLibrary(const GSRuntime::GSLibraryId& id);
  GSRuntime::GSLibrary* FindLibraryByName(std::string_view name);

  GSRuntime::GSNativeFunction* FindNative(const Kiv::PString& className,
                                          const Kiv::PString& signature) const;
  // Inserts a binding at the front of the registry.
  void RegisterNative(std::unique_ptr<GSRuntime::GSNativeFunction> binding);
  size_t NativeCount() const { return natives_.size(); }

  GSRuntime::GSThread* Thread() const { return thread_.get(); }
  // Loaded libraries, in the order their loading completed.
  std::vector<GSRuntime::GSLibrary*> Libraries() const;
  size_t LinkCount() const { return linkTable_.Count(); }

 private:
  LibraryLinkEntry* FindEntry(const GSRuntime::GSLibraryId& id) const;
  void ReportMissing(const GSRuntime::GSLibraryId& id) const;
  bool ReadImage(const LibraryLinkEntry& entry, std::vector<uint8_t>& image) const;
  void UnloadSince(size_t mark);
  // Unloads `taken` and every loaded library that links to one of them,
  // directly or through others.
  void UnloadWithUsers(std::vector<const GSRuntime::GSLibrary*> taken);

  std::unique_ptr<GSRuntime::GSThread> thread_;
  IdHashTable<std::unique_ptr<LibraryLinkEntry>> linkTable_;
  HashTable<LibraryLinkEntry*> nameTable_;
  std::vector<std::unique_ptr<GSRuntime::GSLibrary>> libraries_;
  std::vector<std::unique_ptr<GSRuntime::GSNativeFunction>> natives_;  // newest last
  // The newest binding per interned class name and signature.
  struct NativeKey {
    const void* className;
    const void* signature;
    bool operator==(const NativeKey&) const = default;
  };
  struct NativeKeyHash {
    size_t operator()(const NativeKey& key) const {
      return std::hash<const void*>()(key.className) * 31 ^ std::hash<const void*>()(key.signature);
    }
  };
  std::unordered_map<NativeKey, GSRuntime::GSNativeFunction*, NativeKeyHash> nativeIndex_;
};

GSMachine* GetGSMachine();

using GSNativeRegistrar = void (*)(GSMachine& machine);
void GSAddNativeRegistrar(GSNativeRegistrar registrar);
