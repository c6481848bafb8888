// GSOSoup: the native side of the script class "Soup" (Soup.gsl): one soup
// handle and a lock.
//
// The handle shares its tree with every other holder: a change made through
// one is seen by all. The lock belongs to this object, not to the tree:
// when it is set, every native that would change the tree stops the thread
// with its refusal text ("Soup.SetNamedTag> parent soup is locked", ...)
// and changes nothing. Soups the system hands to scripts are locked, and so
// are the children and the references (GetLockedReference) got from them;
// ConstructorsBase::NewSoup and GetNamedSoupAdd give unlocked ones.
//
// Tag names are checked (null and empty refused: "null string at parameter
// 1", "empty string at parameter 1") and lower-cased, so a value set under
// "Name" is read under "name".
//
// KUIDs are read and written as a configuration keeps them
// (SoupKUIDReferences.h): GetNamedTagAsKUID reads a text tag as written
// (GetNamedKUIDAsWritten), and SetNamedKUID writes a KUID that a KUID tag
// cannot keep (a user id beyond -16777216..16777215) as its text
// (SetKUIDTableEntry), so that neither turns it into another asset's KUID.
//
// Sound behaviour where the plain rules would fail:
// - SetNamedSoup and AddUniqueNamedSoup refuse to put a soup inside itself
//   or inside one of its own descendants ("Soup.SetNamedSoup> a soup cannot
//   contain itself"), since the cycle could never be written or freed.
// - Copy with this object, or another over the same tree, as its argument
//   gives an independent copy of the tree's contents; nothing is lost.
// - GetIndexedTagName answers the empty string for an index outside the
//   children.
// - GetLockedReference always answers a locked object.
//
// Memory: what scripts write into soups is charged to the live-byte meter
// of the writing object's context (gsruntime/GSAllocationMeter.h,
// SoupCharge.h): each tag its name, value and entry (a replaced or removed
// tag gives its bytes back), a Copy the whole copy. A write past the bound
// stops the thread ("Soup.SetNamedTag> soup too large", "Soup.SetNamedKUID>
// soup too large", "Soup.SetNamedSoup> soup too large", "Soup.Copy> soup
// too large", "Soup.GetNamedSoupAdd> soup too large",
// "Soup.AddUniqueNamedSoup> soup too large") and changes nothing. What an
// object wrote stays charged while anything else holds its tree after the
// object goes (or holds another tree). Copy, Log, the cycle check of the
// linking natives and GetIndexForNamedTag charge the tags they walk to the
// run's budget.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include "foundation/soup/Soup.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSStack.h"

class GSOSoup : public GSRuntime::GSObject {
 public:
  // A Soup object over `soup` (shared) under `context`, with one count for
  // the caller; null when the "Soup" script class is not known or no object
  // could be made.
  static GSOSoup* Create(GSRuntime::GSContext* context, const Soup& soup, bool locked);
  // Pushes Create's object for the caller, or null.
  static void Push(GSRuntime::GSStack& stack, GSRuntime::GSContext* context, const Soup& soup,
                   bool locked);

  ~GSOSoup() override;

  const Soup& GetSoup() const { return soup_; }
  bool IsLocked() const { return locked_; }
  // Makes the object hold `soup` (shared); the caller has checked the lock.
  void SetSoup(const Soup& soup);

  void CountTags(GSRuntime::GSStack& stack);
  void GetNamedTag(GSRuntime::GSStack& stack);
  void GetNamedSoup(GSRuntime::GSStack& stack);
  void GetNamedSoupAdd(GSRuntime::GSStack& stack);
  void GetIndexedTagName(GSRuntime::GSStack& stack);
  void GetIndexForNamedTag(GSRuntime::GSStack& stack);
  void GetNamedTagAsKUID(GSRuntime::GSStack& stack);
  void GetNamedTagAsInt(GSRuntime::GSStack& stack);
  void GetNamedTagAsIntOr(GSRuntime::GSStack& stack);
  void GetNamedTagAsFloat(GSRuntime::GSStack& stack);
  void GetNamedTagAsFloatOr(GSRuntime::GSStack& stack);
  void SetNamedString(GSRuntime::GSStack& stack);
  void SetNamedFloat(GSRuntime::GSStack& stack);
  void SetNamedInt(GSRuntime::GSStack& stack);
  void SetNamedKUID(GSRuntime::GSStack& stack);
  void SetNamedSoup(GSRuntime::GSStack& stack);
  void RemoveNamedTag(GSRuntime::GSStack& stack);
  void Copy(GSRuntime::GSStack& stack);
  void Clear(GSRuntime::GSStack& stack);
  void IsLocked(GSRuntime::GSStack& stack);
  void GetLockedReference(GSRuntime::GSStack& stack);
  void AddUniqueNamedSoup(GSRuntime::GSStack& stack);
  void Log(GSRuntime::GSStack& stack);

 private:
  GSOSoup(const Soup& soup, bool locked) : soup_(soup), locked_(locked) {}
  // The checked, lower-cased tag name of parameter 1; false after the
  // script error.
  static bool NameArg(const GSRuntime::GSStack& stack, Kiv::PString& name);
  // False after the refusal `text` when locked.
  bool Unlocked(const char* text) const;
  // The soup argument `index` that may be linked into this tree (not null,
  // not locked, not this tree or one that holds it); null after the error.
  GSOSoup* LinkableArg(const GSRuntime::GSStack& stack, uint32_t index, const char* lockedText,
                       const char* cycleText);

  // Charges the tag `name` as holding `bytes` from now on, in place of what
  // it holds now; false after the refusal `refusal` when the context's
  // live-byte bound leaves no room.
  bool ChargeTag(const Kiv::PString& name, uint64_t bytes, const char* refusal);
  // Gives back what was written through this object, or, while anything
  // else holds the tree, leaves it charged to the meter until nothing does.
  void LetGoOfTree();

  Soup soup_;
  bool locked_;
  GSRuntime::GSNativeCharge charge_;  // what was written through this object
};

// Binds the natives and hands the runtime the Soup class of message
// payloads (GSSetSoupClassHook, gsruntime/GSPayloadSoup.h).
void RegisterSoupNatives(GSMachine& machine);

// True when `tree` is `chunk` or holds it at any depth.
bool SoupTreeHolds(const ACSChunk* tree, const ACSChunk* chunk);
