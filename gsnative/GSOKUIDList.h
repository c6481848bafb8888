// GSOKUIDList: the native side of the script class "KUIDList"
// (KUIDList.gsl), an ordered list of KUIDs with a lock.
//
// A list made by ConstructorsBase::NewKUIDList is empty and unlocked; one
// that the system hands to scripts (an asset's dependencies) holds a copy
// of its KUIDs, in order, and is locked: every native that would change it
// stops the thread ("KUIDList.Copy> list is locked" for AddKUID, RemoveKUID
// and Copy, "KUIDList.Clear> list is locked" for Clear) and changes
// nothing.
//
// Entries keep insertion order; KUIDs are equal when all three fields are.
// AddKUID appends a KUID that is not listed yet; RemoveKUID removes the
// first equal entry; both, and HasKUID, refuse a null argument ("null
// object at parameter 1"). A count per distinct KUID makes AddKUID and
// HasKUID constant time on average (KUIDCountTable.h). GetIndexedKUID checks its index against
// the count as an unsigned number ("KUIDList.GetIndexedKUID> index out of
// range" for a negative one too) and gives the entry's KUID object of this
// list's context. Copy of the list itself leaves it as it is.
//
// Entries are charged to the live-byte meter of the list's context
// (gsruntime/GSAllocationMeter.h): an AddKUID past its bound stops the
// thread ("KUIDList.AddKUID> list too large") and adds nothing, a Copy past
// it ("KUIDList.Copy> list too large") leaves the list empty.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "foundation/text/KUID.h"
#include "gsnative/KUIDCountTable.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSStack.h"

class GSOKUIDList : public GSRuntime::GSObject {
 public:
  // An empty, unlocked list, or a locked copy of `kuids`; null when the
  // "KUIDList" script class is not known or no object could be made. The
  // object carries one count for the caller.
  static GSOKUIDList* Create(GSRuntime::GSContext* context);
  static GSOKUIDList* CreateLocked(GSRuntime::GSContext* context, std::span<const KUID> kuids);

  bool IsLocked() const { return locked_; }
  const std::vector<KUID>& KUIDs() const { return kuids_; }
  bool Has(const KUID& kuid) const { return counts_.Find(kuid) != 0; }
  // Appends `kuid` when it is not listed; false when it was, or when the
  // context's live-byte bound leaves no room for it.
  bool Add(const KUID& kuid);

  void CountKUIDs(GSRuntime::GSStack& stack);
  void AddKUID(GSRuntime::GSStack& stack);
  void RemoveKUID(GSRuntime::GSStack& stack);
  void HasKUID(GSRuntime::GSStack& stack);
  void GetIndexedKUID(GSRuntime::GSStack& stack);
  void Copy(GSRuntime::GSStack& stack);
  void Clear(GSRuntime::GSStack& stack);
  void IsLocked(GSRuntime::GSStack& stack);

 private:
  // What one entry holds: the list's element and its share of the count
  // table (kept at most half full).
  static constexpr uint64_t kEntryBytes = 2 * sizeof(KUID) + 32;

  enum class Added { kYes, kListed, kNoRoom };

  GSOKUIDList() = default;
  static GSOKUIDList* Make(GSRuntime::GSContext* context, bool locked);
  // Appends `kuid` unless it is listed or its entry's bytes pass the bound
  // (nothing changes then). Throws std::bad_alloc, changing nothing, when
  // memory runs out.
  Added Insert(const KUID& kuid);
  // Makes room in kuids_ for one more KUID; throws std::bad_alloc, changing
  // nothing, when memory runs out.
  void MakeRoom();
  // MakeRoom for `kuid`, which Insert has just put in the table; takes it
  // out again when that throws.
  [[gnu::noinline]] void MakeRoomOrRemove(const KUID& kuid);
  // False, appending nothing, when the entry's bytes pass the bound. Throws
  // std::bad_alloc (appending nothing) when memory runs out.
  bool Append(const KUID& kuid);
  void Empty();
  // AddKUID's common case: true when it has added `kuid` (or found it
  // listed) in place; false, changing nothing, when AddKUIDChecked must.
  bool TryInsertInPlace(const KUID& kuid);
  // The full AddKUID and HasKUID, with every check and refusal.
  [[gnu::noinline]] void AddKUIDChecked(GSRuntime::GSStack& stack);
  [[gnu::noinline]] void HasKUIDChecked(GSRuntime::GSStack& stack);

  std::vector<KUID> kuids_;
  KUIDCountTable counts_;
  bool locked_ = false;
  GSRuntime::GSNativeCharge charge_;
};

void RegisterKUIDListNatives(GSMachine& machine);

// The script class "KUIDList", once found.
extern GSRuntime::GSClass* gKUIDListScriptClass;
