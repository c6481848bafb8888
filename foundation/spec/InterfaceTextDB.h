// InterfaceTextDB: the interface texts of the chosen language.
//
// Every user-facing text is a tag that begins with "$", looked up here. One
// process-wide database (Get) reads its language file from the content
// location "data" (<root>/Data) on the first lookup after start-up or after
// MarkUnloaded, and answers every later lookup from memory.
//
// Language files (SetLanguage; codes compared without regard to case):
//   none, "EN", "AU", "US", "UK"  "InterfaceText.chump" (English)
//   "DE" German, "FR" French, "IT" Italian, "RU" Russian, "CZ" Czech,
//   "PL" Polish, "ES" Spanish, "CN" Chinese, "NL" Dutch, "KR" Korean,
//   "HU" Hungarian                "Interface<Language>.chump"
//   "CH", "SE", any other code    the current choice stays
// The initial choice is English.
//
// Loading reads the ".chump" (binary) file; when that fails it logs
// "InterfaceTextDB> failed to load compiled interfacetext file" and reads
// the ".txt" (text) file of the same name, as UTF-8. When neither reads it
// logs "InterfaceTextDB> Unable to read interface file '<name>'". Only
// English texts ship with the tool, so when the chosen language's files
// are both missing or damaged the English files are read in their place;
// when nothing reads at all the database is empty. Nothing else is
// reported. Texts of the top level answer GetString; texts of the sub-soup
// "scenario_text" answer Lookup; "orvak_map_text" and "orvak_spec_text" are
// kept with them.
//
// Misses: GetString with `warn` answers the tag itself for a tag without
// text (absent, null or empty); the first ten such misses of the process
// write "InterfaceTextDB::GetString> Tag '<tag>' not found in '<file>'" to
// the log, later ones write nothing. Without `warn` a miss answers the
// empty string and is not counted.
//
// Threads: any thread may look texts up at any time. Loading is guarded by
// a lock of the database's own and a double-checked atomic flag, so that
// concurrent first lookups load the file once. It deliberately does not
// take the GlobalLock: a thread that already holds the GlobalLock shared
// (while another thread holds it too) could never be granted it
// exclusively, and its first lookup would wait forever. A load builds a new,
// immutable set of texts and publishes it whole; lookups read the published
// set without the GlobalLock, and a reload never changes texts a reader is
// using. SetLanguage and MarkUnloaded are meant for start-up, but are safe
// on any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "kiv/PString.h"
#include "kiv/String.h"

class InterfaceTextDB {
 public:
  InterfaceTextDB();
  virtual ~InterfaceTextDB();
  InterfaceTextDB(const InterfaceTextDB&) = delete;
  InterfaceTextDB& operator=(const InterfaceTextDB&) = delete;

  // The process-wide database, loaded first when it is not loaded.
  static InterfaceTextDB& Get();

  // Chooses the language file by code (see above); null counts as none.
  static void SetLanguage(const char* code);
  // The next Get loads the file again (with the current choice).
  static void MarkUnloaded();

  // The text of a top-level tag. An empty tag answers itself; a miss is
  // handled as described above.
  Kiv::PString GetString(const Kiv::PString& tag, bool warn) const;
  // The text of a tag of "scenario_text", without any log line; an empty tag
  // answers itself and a miss the empty string.
  Kiv::PString Lookup(const Kiv::PString& tag) const;

  // For tests: forgets the texts, the language choice (back to English), the
  // loaded flag and the miss count.
  static void ResetForTests();

 private:
  struct Contents;

  static InterfaceTextDB& Instance();
  // Nothing loaded: no texts, misses reported under the English file's name.
  static std::shared_ptr<const Contents> NoContents();
  void EnsureLoaded();
  // Reads the chosen file and publishes its texts; `loadMutex_` is held.
  void LoadLocked();
  std::shared_ptr<const Contents> Current() const;
  void Publish(std::shared_ptr<const Contents> contents);
  void LogMiss(const Kiv::PString& tag, const Contents& contents) const;

  std::mutex loadMutex_;   // Serialises loads and the language choice.
  Kiv::PString fileName_;  // The chosen language file; under loadMutex_.
  std::atomic<bool> loaded_{false};
  mutable std::atomic<uint32_t> misses_{0};
  mutable std::mutex contentsMutex_;  // Guards the pointer only.
  std::shared_ptr<const Contents> contents_;
};

// The text of a "$" tag for printing or for a result message: Get, then
// GetString with warn set.
Kiv::String GetInterfaceText(const Kiv::PString& tag);
Kiv::String GetInterfaceText(const char* tag);
