// GSRuntime::GSContext: a script context, the owner of every object made in
// it.
//
// A context holds the pool that tracks its objects (TrackedObjectPool.h),
// one library context per library whose static objects it has made, a
// router (null: the context has no router; the runtime never makes one: a
// host installs one with InstallRouter, and the context then owns it and
// shuts it down, GSRouter::Done, when it is destroyed) and the share flag: when set, references to
// this context's objects may be stored into objects of other contexts (GSReference.h).
//
// The process keeps a list of the live contexts; the context's owner
// decides when a context joins it (AddLive), and the destructor takes it
// out. The destructor releases the static objects (library contexts in
// the table's order, each from its last static object to its first), takes
// the context out of the live list and destroys the pool, which frees
// every object still tracked whatever its count, cycles included. Destroy
// every context before the machine whose classes its objects use.
//
// ConstructStaticClass(cls) gives the one object of a static class (flags
// value 4) in the current context (GSRunState.h), making it on first use;
// null for a class that is not static, without a current context, or when
// its construction fails, which also prints "Could not construct static
// class %s for context".
//
// MakeMessageObject(message): a new script "Message" object (class Message
// of "gs.gsl") in this context, its slots 2-6 holding the major and minor
// type texts (null when empty), the source and destination game objects
// (null when not found or no longer counted) and the payload, a new locked
// script Soup object over the message's soup (GSPayloadSoup.h; null when
// the message has none); the reference carries the count of creation. Null
// without a router or without the class. A Message object whose count
// reaches 0 is not freed but kept for the next message (up to
// kSpareMessages of them per context): its game objects and payload are
// released at once, and its type texts are kept and used again when they
// are the same text and nothing else holds them (a kept object made for the
// same types is taken first). The pool teardown frees
// the kept ones with the rest.
// GetMessageClass and GetGameObjectClass find their class of "gs.gsl"
// once (a failed search is repeated on the next call).
//
// FindForeignGameObject(id, includeExcluded): the game object with that
// node id in the router of any live context (in list order), passing over
// excluded routers and classes that hide their objects (flags 0x100)
// unless includeExcluded.
//
// The "Router" natives run against the running context (RouterGetGameObject
// ... RouterInfo); each pushes null or does nothing without a router.
//
// Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/containers/IdHashTable.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSConstantStrings.h"
#include "gsruntime/GSValue.h"
#include "gsruntime/TrackedObjectPool.h"

class GSRouter;

namespace GSRuntime {

class GSClass;
class GSGameObject;
class GSMessage;
class GSNode;
class GSStack;
class GSLibrary;
class GSObject;
struct GSScriptInstance;

class GSContext {
 public:
  // The static objects a context made for the classes of one library.
  struct GSLibraryContext {
    explicit GSLibraryContext(GSLibrary* lib);
    ~GSLibraryContext();
    GSLibraryContext(const GSLibraryContext&) = delete;
    GSLibraryContext& operator=(const GSLibraryContext&) = delete;

    std::vector<GSObject*> statics;  // one per class of the library
    GSLibrary* library;
  };

  static constexpr uint32_t kLibraryBuckets = 251;
  static constexpr size_t kSpareMessages = 64;
  static constexpr uint32_t kStaticClassFlag = 4;

  GSContext();
  virtual ~GSContext();
  GSContext(const GSContext&) = delete;
  GSContext& operator=(const GSContext&) = delete;

  TrackedObjectPool& Pool() { return pool_; }
  // The live bytes of this context's strings and arrays (GSAllocationMeter.h).
  GSAllocationMeter& Meter() { return meter_; }
  // The strings handed out for string constants (GSConstantStrings.h).
  GSConstantStrings& Constants() { return constants_; }
  GSRouter* Router() const { return router_; }
  // Takes ownership of `router` (the context had none, and the router has
  // interned no type yet); its type texts are charged to this context's
  // meter.
  void InstallRouter(GSRouter* router);
  bool Shares() const { return share_; }
  void SetShares(bool share) { share_ = share; }

  // The library context of `library` in this context, made on first use;
  // null when out of memory.
  GSLibraryContext* GetLibraryContext(GSLibrary* library);

  static GSObject* ConstructStaticClass(GSClass* cls);

  GSValue MakeMessageObject(const GSMessage& message);
  // Keeps a Message object that nothing holds any more for the next
  // message; `types` are the major and minor type numbers it was made for
  // (major << 16 | minor). False when it cannot be kept (the caller then
  // frees it).
  bool KeepSpareMessage(GSObject* object, uint32_t types);
  // Sets a type-text field of a Message object (with `type` and `text`,
  // null when empty) from a kept text when one reads the same.
  void StoreTypeText(GSScriptInstance* instance, GSValue* slot, uint16_t oldType, uint16_t type,
                     const std::string& text);
  static GSClass* GetMessageClass();
  static GSClass* GetGameObjectClass();
  static GSGameObject* FindForeignGameObject(uint32_t id, bool includeExcluded);

  void RouterGetGameObjectById(GSStack& stack);
  void RouterGetForeignGameObject(GSStack& stack);
  void RouterGetGameObjectByName(GSStack& stack);
  void RouterPostMessage(GSStack& stack);
  void RouterInfo(GSStack& stack);

  // False when out of memory.
  static bool AddLive(GSContext* context);
  static const std::vector<GSContext*>& Live();

 private:
  // Sets a game-object field of a Message object: the counted instance of
  // the game object `node` is, else null (under the store rule).
  void StoreGameObject(GSScriptInstance* instance, GSValue* slot, GSNode* node);
  GSAllocationMeter meter_;  // before the pool: the pool's objects give their bytes back to it
  TrackedObjectPool pool_;
  GSConstantStrings constants_;  // its strings are objects of the pool
  IdHashTable<std::unique_ptr<GSLibraryContext>> libraries_;
  GSRouter* router_ = nullptr;
  bool share_ = false;
  struct SpareMessage {
    GSObject* object;  // count 0, still in the pool
    uint32_t types;
  };
  std::vector<SpareMessage> spareMessages_;
  // Type texts taken out of kept Message objects made for other types
  // (count 1, held here), by type number; 0: none.
  struct SpareText {
    uint16_t type = 0;
    GSValue text = 0;
  };
  SpareText spareTexts_[8];
  size_t nextSpareText_ = 0;
};

}  // namespace GSRuntime
